<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>CDlgSplitter</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>The command line does not describe a split; nothing was started.</source>
        <translation>Die Befehlszeile beschreibt keine Teilung; es wurde nichts gestartet.</translation>
    </message>
    <message>
        <source>&lt;%1&gt;
Can not open file or unsupported filetype!</source>
        <translation>&lt;%1&gt;
Die Datei kann nicht geöffnet werden oder der Dateityp wird nicht unterstützt!</translation>
    </message>
    <message>
        <source>BVF file (*.bvf);;All (*.*)</source>
        <translation>BVF-Datei (*.bvf);;Alle (*.*)</translation>
    </message>
    <message>
        <source>The files could not be examined.</source>
        <translation>Die Dateien konnten nicht untersucht werden.</translation>
    </message>
    <message>
        <source>Select one or more files for merging</source>
        <translation>Eine oder mehrere Dateien zum Zusammenführen auswählen</translation>
    </message>
    <message>
        <source>0x%1 only one file, need at least two!</source>
        <translation>0x%1 nur eine Datei, mindestens zwei werden benötigt!</translation>
    </message>
    <message>
        <source>The merge could not be started.</source>
        <translation>Das Zusammenführen konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>The SOURCE file &lt;%1&gt;</source>
        <translation>Die QUELL-Datei &lt;%1&gt;</translation>
    </message>
    <message>
        <source>can not opend!</source>
        <translation>kann nicht geöffnet werden!</translation>
    </message>
    <message>
        <source>Ignore?</source>
        <translation>Ignorieren?</translation>
    </message>
    <message>
        <source>[IGNORE] for ignoring this file.</source>
        <translation>[IGNORIEREN], um diese Datei zu übergehen.</translation>
    </message>
    <message>
        <source>[ABORT] for aborting.</source>
        <translation>[ABBRECHEN] zum Abbrechen.</translation>
    </message>
    <message>
        <source>Overwrite existing file</source>
        <translation>Vorhandene Datei überschreiben</translation>
    </message>
    <message>
        <source>Choose destination file</source>
        <translation>Zieldatei wählen</translation>
    </message>
    <message>
        <source>Destination file error</source>
        <translation>Fehler bei der Zieldatei</translation>
    </message>
    <message>
        <source>Can not write in the DESTINATION file</source>
        <translation>In die ZIEL-Datei kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>&lt;%1&gt;!</source>
        <translation>&lt;%1&gt;!</translation>
    </message>
    <message>
        <source>[RETRY] for retry to wrinting.</source>
        <translation>[WIEDERHOLEN], um das Schreiben erneut zu versuchen.</translation>
    </message>
    <message>
        <source>Can not read from source file</source>
        <translation>Aus der Quelldatei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>Reading from file error</source>
        <translation>Fehler beim Lesen der Datei</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>The file &lt;%1&gt; exists already.</source>
        <translation>Die Datei &lt;%1&gt; ist bereits vorhanden.</translation>
    </message>
    <message>
        <source>Overwrite existing file?</source>
        <translation>Vorhandene Datei überschreiben?</translation>
    </message>
    <message>
        <source>[YES] for overwrite this existing file.</source>
        <translation>[JA], um diese vorhandene Datei zu überschreiben.</translation>
    </message>
    <message>
        <source>[YES to ALL] for overwrite all existing files.</source>
        <translation>[JA, ALLE], um alle vorhandenen Dateien zu überschreiben.</translation>
    </message>
    <message>
        <source>[NO] for skip this existing file.</source>
        <translation>[NEIN], um diese vorhandene Datei zu überspringen.</translation>
    </message>
    <message>
        <source>[NO to ALL] for skip all existing files.</source>
        <translation>[NEIN, KEINE], um alle vorhandenen Dateien zu überspringen.</translation>
    </message>
    <message>
        <source>would be overwritten by a splitted file!</source>
        <translation>würde von einer Teildatei überschrieben!</translation>
    </message>
    <message>
        <source>Do you want rename the source file and restart?</source>
        <translation>Möchten Sie die Quelldatei umbenennen und neu starten?</translation>
    </message>
    <message>
        <source>[YES] for renaming.</source>
        <translation>[JA] zum Umbenennen.</translation>
    </message>
    <message>
        <source>Rename source file!</source>
        <translation>Quelldatei umbenennen!</translation>
    </message>
    <message>
        <source>Rename source file for avoiding overwriting:</source>
        <translation>Quelldatei umbenennen, damit sie nicht überschrieben wird:</translation>
    </message>
    <message>
        <source>Can not rename source file</source>
        <translation>Die Quelldatei kann nicht umbenannt werden</translation>
    </message>
    <message>
        <source>The file &lt;%1&gt;</source>
        <translation>Die Datei &lt;%1&gt;</translation>
    </message>
    <message>
        <source>can not opening for writing!</source>
        <translation>kann nicht zum Schreiben geöffnet werden!</translation>
    </message>
    <message>
        <source>Do you want to retry?</source>
        <translation>Möchten Sie es erneut versuchen?</translation>
    </message>
    <message>
        <source>[RETRY] for retry.</source>
        <translation>[WIEDERHOLEN] für einen neuen Versuch.</translation>
    </message>
    <message>
        <source>Error opening file for writing</source>
        <translation>Fehler beim Öffnen der Datei zum Schreiben</translation>
    </message>
    <message>
        <source>Choose split file</source>
        <translation>Zu teilende Datei wählen</translation>
    </message>
    <message>
        <source>Splitfiles (*.bvf *.tmw *.lan);;BVF file (*.bvf);;All (*.*)</source>
        <translation>Aufzeichnungen (*.bvf *.tmw *.lan);;BVF-Datei (*.bvf);;Alle (*.*)</translation>
    </message>
    <message>
        <source>%1 MB per file</source>
        <translation>%1 MB pro Datei</translation>
    </message>
    <message>
        <source>The path of the source file is longer than %1 characters.</source>
        <translation>Der Pfad der Quelldatei ist länger als %1 Zeichen.</translation>
    </message>
    <message>
        <source>The split could not be started.</source>
        <translation>Das Teilen konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Can not open file or unsupported filetype!</source>
        <translation>Die Datei kann nicht geöffnet werden oder der Dateityp wird nicht unterstützt!</translation>
    </message>
    <message>
        <source>Fixed name</source>
        <translation>Fester Name</translation>
    </message>
    <message>
        <source>Split File</source>
        <translation>Datei teilen</translation>
    </message>
    <message>
        <source>Merge Files</source>
        <translation>Dateien zusammenführen</translation>
    </message>
    <message>
        <source>NAME__date+time.bvf</source>
        <translation>NAME__Datum+Zeit.bvf</translation>
    </message>
    <message>
        <source>NAME__SplitNumber.bvf</source>
        <translation>NAME__Teilnummer.bvf</translation>
    </message>
    <message>
        <source>NAME__SplitNumber__date+time.bvf</source>
        <translation>NAME__Teilnummer__Datum+Zeit.bvf</translation>
    </message>
    <message>
        <source>NAME__date+time__SplitNumber.bvf</source>
        <translation>NAME__Datum+Zeit__Teilnummer.bvf</translation>
    </message>
    <message>
        <source>SplitNumber__NAME.bvf</source>
        <translation>Teilnummer__NAME.bvf</translation>
    </message>
    <message>
        <source>SplitNumber__NAME__date+time.bvf</source>
        <translation>Teilnummer__NAME__Datum+Zeit.bvf</translation>
    </message>
    <message>
        <source>SplitNumber__date+time__NAME.bvf</source>
        <translation>Teilnummer__Datum+Zeit__NAME.bvf</translation>
    </message>
    <message>
        <source>date+time__NAME.bvf</source>
        <translation>Datum+Zeit__NAME.bvf</translation>
    </message>
    <message>
        <source>date+time__NAME__SplitNumber.bvf</source>
        <translation>Datum+Zeit__NAME__Teilnummer.bvf</translation>
    </message>
    <message>
        <source>date+time__SplitNumber__NAME.bvf</source>
        <translation>Datum+Zeit__Teilnummer__NAME.bvf</translation>
    </message>
    <message>
        <source>Name of Split File:</source>
        <translation>Name der Teildatei:</translation>
    </message>
    <message>
        <source>24:00</source>
        <translation>24:00</translation>
    </message>
    <message>
        <source>Set the length(by time) of the file</source>
        <translation>Länge (Zeitdauer) der Teildatei einstellen</translation>
    </message>
    <message>
        <source>Set the length of the file</source>
        <translation>Zeitraum der Teildatei einstellen</translation>
    </message>
    <message>
        <source>Number of files</source>
        <translation>Anzahl der Dateien</translation>
    </message>
    <message>
        <source>Source File:</source>
        <translation>Quelldatei:</translation>
    </message>
    <message>
        <source>Path and file name of the request file</source>
        <translation>Pfad und Dateiname der gewählten Datei</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Choose file in selection dialogue</source>
        <translation>Datei im Auswahldialog wählen</translation>
    </message>
    <message>
        <source>UTC</source>
        <translation>UTC</translation>
    </message>
    <message>
        <source>Show time in UTC</source>
        <translation>Zeit in UTC anzeigen</translation>
    </message>
    <message>
        <source>Fixed name of Split File:</source>
        <translation>Fester Name der Teildatei:</translation>
    </message>
    <message>
        <source>Path and file name of the destination file</source>
        <translation>Pfad und Dateiname der Zieldatei</translation>
    </message>
    <message>
        <source>Synchronise file time stamps to protocol time</source>
        <translation>Zeitstempel der Datei auf die Protokollzeit synchronisieren</translation>
    </message>
    <message>
        <source>Find first broadcasted time stamp in protocol.</source>
        <translation>Ersten im Protokoll ausgesendeten Zeitstempel suchen.</translation>
    </message>
    <message>
        <source>Adjust file bases time stamps with the found offset.</source>
        <translation>Zeitstempel der Datei um den gefundenen Versatz verschieben.</translation>
    </message>
    <message>
        <source>Split by Time</source>
        <translation>Nach Zeit teilen</translation>
    </message>
    <message>
        <source>Split into N minutes long parts</source>
        <translation>In Teile von N Minuten Länge teilen</translation>
    </message>
    <message>
        <source>[HH:MM] </source>
        <translation>[HH:MM] </translation>
    </message>
    <message>
        <source>Split at beginning of the time unit</source>
        <translation>Am Beginn der Zeiteinheit teilen</translation>
    </message>
    <message>
        <source>Split by Period of Time</source>
        <translation>Nach Zeitraum teilen</translation>
    </message>
    <message>
        <source>From </source>
        <translation>Von </translation>
    </message>
    <message>
        <source>  to  </source>
        <translation>  bis  </translation>
    </message>
    <message>
        <source>Split by Number</source>
        <translation>Nach Anzahl teilen</translation>
    </message>
    <message>
        <source>Split into a number of parts</source>
        <translation>In eine Anzahl von Teilen teilen</translation>
    </message>
    <message>
        <source>Correct DMO record frequency</source>
        <translation>Frequenz der DMO-Datensätze korrigieren</translation>
    </message>
    <message>
        <source>Frequency in HZ</source>
        <translation>Frequenz in Hz</translation>
    </message>
    <message>
        <source>Start/Stop splitting</source>
        <translation>Teilen starten/stoppen</translation>
    </message>
    <message>
        <source>Operation progress</source>
        <translation>Fortschritt des Vorgangs</translation>
    </message>
    <message>
        <source>Add files, or drop them into box:</source>
        <translation>Dateien hinzufügen oder in die Liste ziehen:</translation>
    </message>
    <message>
        <source>List with files to merge</source>
        <translation>Liste der zusammenzuführenden Dateien</translation>
    </message>
    <message>
        <source>Delete all</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>Delete all files</source>
        <translation>Alle Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Delete selected</source>
        <translation>Auswahl entfernen</translation>
    </message>
    <message>
        <source>Delete selected files</source>
        <translation>Ausgewählte Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>Choose file(s) in selection dialogue</source>
        <translation>Datei(en) im Auswahldialog wählen</translation>
    </message>
    <message>
        <source>Start/Stop merging</source>
        <translation>Zusammenführen starten/stoppen</translation>
    </message>
    <message>
        <source>Can not merge from and write into the same file!
Choose an other destination name.</source>
        <translation>Es kann nicht aus derselben Datei gelesen und in sie geschrieben werden!
Bitte einen anderen Zielnamen wählen.</translation>
    </message>
    <message>
        <source>This file has already been written by this merge!
Choose an other destination name.</source>
        <translation>Diese Datei wurde bei diesem Zusammenführen bereits geschrieben!
Bitte einen anderen Zielnamen wählen.</translation>
    </message>
    <message>
        <source>The path of the destination file is longer than %1 characters!
Choose an other destination name.</source>
        <translation>Der Pfad der Zieldatei ist länger als %1 Zeichen!
Bitte einen anderen Zielnamen wählen.</translation>
    </message>
    <message>
        <source>Can not write the file!</source>
        <translation>Die Datei kann nicht geschrieben werden!</translation>
    </message>
    <message>
        <source>%1 damaged record(s) could not be read and are missing in the merged file.</source>
        <translation>Beschädigte Datensätze, die nicht gelesen werden konnten und in der zusammengeführten Datei fehlen: %1.</translation>
    </message>
    <message>
        <source>Can not read the file!</source>
        <translation>Die Datei kann nicht gelesen werden!</translation>
    </message>
    <message>
        <source>The name of split file %1 would be longer than %2 characters.</source>
        <translation>Der Name der Teildatei %1 wäre länger als %2 Zeichen.</translation>
    </message>
    <message>
        <source>No name was given for the split file.</source>
        <translation>Für die Teildatei wurde kein Name angegeben.</translation>
    </message>
    <message>
        <source>The start time of split file %1 can not be shown as a date.</source>
        <translation>Die Startzeit der Teildatei %1 kann nicht als Datum dargestellt werden.</translation>
    </message>
    <message>
        <source>%1 damaged record(s) and %2 damaged byte(s) could not be read and are missing in the merged file.</source>
        <translation>%1 beschädigte(r) Datensatz/Datensätze und %2 beschädigte(s) Byte(s) konnten nicht gelesen werden und fehlen in der zusammengeführten Datei.</translation>
    </message>
    <message>
        <source>%1 DMR item(s) can not be stored in a split file and were left out.</source>
        <translation>%1 DMR-Element(e) können in einer Teildatei nicht gespeichert werden und wurden ausgelassen.</translation>
    </message>
    <message>
        <source>%1 damaged record(s) and %2 damaged byte(s) of the source could not be read and are missing in the split files.</source>
        <translation>%1 beschädigte(r) Datensatz/Datensätze und %2 beschädigte(s) Byte(s) der Quelle konnten nicht gelesen werden und fehlen in den Teildateien.</translation>
    </message>
    <message>
        <source>%1 record(s) carry a time stamp more than a day away from both neighbours; they were kept with their neighbours and started no part.</source>
        <translation>%1 Datensatz/Datensätze tragen einen Zeitstempel, der mehr als einen Tag von beiden Nachbarn entfernt ist; sie blieben bei ihren Nachbarn und begannen keine neue Teildatei.</translation>
    </message>
    <message>
        <source>-start= takes 0, 1 or 2 only.</source>
        <translation>-start= erlaubt nur 0, 1 oder 2.</translation>
    </message>
    <message>
        <source>Without a display only -start=2 can run; nothing was started.</source>
        <translation>Ohne Bildschirm kann nur -start=2 laufen; es wurde nichts gestartet.</translation>
    </message>
    <message>
        <source>The path given with -fd= is longer than %1 bytes; shortened, it would name another file. Nothing was split.</source>
        <translation>Der mit -fd= angegebene Pfad ist länger als %1 Bytes; gekürzt würde er eine andere Datei bezeichnen. Es wurde nichts geteilt.</translation>
    </message>
    <message>
        <source>-n=%1 asks for more parts than a split makes (at most %2). Nothing was split.</source>
        <translation>-n=%1 verlangt mehr Teile, als eine Teilung erzeugt (höchstens %2). Es wurde nichts geteilt.</translation>
    </message>
    <message>
        <source>The period %1 to %2 (UTC) lies wholly outside the recording, which runs from %3 to %4. Nothing was split.</source>
        <translation>Der Zeitraum %1 bis %2 (UTC) liegt ganz außerhalb der Aufzeichnung, die von %3 bis %4 reicht. Es wurde nichts geteilt.</translation>
    </message>
</context>
<context>
    <name>CModelJoinFiles</name>
    <message>
        <source>%1 byte)</source>
        <translation>%1 Byte)</translation>
    </message>
    <message>
        <source>%1 MB)</source>
        <translation>%1 MB)</translation>
    </message>
    <message>
        <source>%1 kB)</source>
        <translation>%1 kB)</translation>
    </message>
    <message>
        <source>Length: </source>
        <translation>Länge: </translation>
    </message>
    <message>
        <source>(Size: </source>
        <translation>(Größe: </translation>
    </message>
    <message>
        <source> (Size: </source>
        <translation> (Größe: </translation>
    </message>
    <message>
        <source>%1:</source>
        <translation>%1:</translation>
    </message>
    <message>
        <source>%1</source>
        <translation>%1</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source> to ???</source>
        <translation> bis ???</translation>
    </message>
    <message>
        <source> to </source>
        <translation> bis </translation>
    </message>
    <message>
        <source>File magic</source>
        <translation>Dateikennung</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>FileName</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Files overlapping: </source>
        <translation>Überlappende Dateien: </translation>
    </message>
    <message>
        <source>
%1</source>
        <translation>
%1</translation>
    </message>
    <message>
        <source>Missing: </source>
        <translation>Fehlend: </translation>
    </message>
    <message>
        <source> [m:s]</source>
        <translation> [m:s]</translation>
    </message>
</context>
<context>
    <name>CTimelineStrip</name>
    <message>
        <source>%1: the period ends</source>
        <translation>%1: Ende des Zeitraums</translation>
    </message>
    <message>
        <source>%1: part %2 starts, %3</source>
        <translation>%1: Beginn von Teil %2, %3</translation>
    </message>
    <message>
        <source>%1: %2 records</source>
        <translation>%1: %2 Datensätze</translation>
    </message>
</context>
</TS>
