#include "FormatChoice.h"

#include "BinaryFile.h"

#include <cwchar>
#include <cwctype>
#include <initializer_list>

namespace {

bool EndsWithIgnoringCase(const wchar_t *clstrPath, size_t lLength, const wchar_t *clstrTail) {
    const size_t lTail = std::wcslen(clstrTail);
    for (size_t i = 0; i < lTail; ++i) {
        if (std::towupper(clstrPath[lLength - lTail + i]) != wint_t(clstrTail[i]))
            return false;
    }
    return true;
}

} // namespace

FileFormatKind ChooseFileFormat(const wchar_t *clstrPath) {
    const size_t lLength = clstrPath ? std::wcslen(clstrPath) : 0;
    if (lLength < 4)
        return FileFormatKind::Container;
    if (EndsWithIgnoringCase(clstrPath, lLength, L".LAN"))
        return FileFormatKind::Tmw;
    if (EndsWithIgnoringCase(clstrPath, lLength, L".TMW"))
        return FileFormatKind::ProprietaryTmw;
    return FileFormatKind::Container;
}

const wchar_t *ApplyOnlinePrefix(const wchar_t *clstrPath, bool &bOnline) {
    if (clstrPath == nullptr)
        return clstrPath;
    for (const wchar_t *clstrPrefix : {L"online:", L"Online:", L"ONLINE:"}) {
        if (std::wcsncmp(clstrPath, clstrPrefix, 7) == 0) {
            bOnline = true;
            return clstrPath + 7;
        }
    }
    return clstrPath;
}

uint64_t ConsumedFilePosition(int64_t lFilePosition, uint64_t lFill, uint64_t lConsumed) {
    if (lFilePosition <= 0)
        return 0;
    const uint64_t p = uint64_t(lFilePosition);
    return lConsumed - lFill + (p > lFill ? p : lFill);
}

double ConsumedFileProgress(int64_t lFilePosition, uint64_t lFill, uint64_t lConsumed,
                            int64_t lFileSize) {
    if (lFilePosition <= 0 || lFileSize <= 0)
        return 0.0;
    return double(ConsumedFilePosition(lFilePosition, lFill, lConsumed)) /
           (double(lFileSize) / 100.0);
}

uint64_t ReaderFileSize(const CBinaryFile &clFile, bool bTotal, uint64_t lFill,
                        uint64_t lConsumed) {
    const int64_t lPosition = clFile.Position();
    if (lPosition <= 0)
        return 0;
    if (bTotal) {
        const int64_t lSize = clFile.Size();
        return lSize < 0 ? 0 : uint64_t(lSize);
    }
    // The split by number asks after every record: no system call here.
    return ConsumedFilePosition(lPosition, lFill, lConsumed);
}

double ReaderProgress(const CBinaryFile &clFile, uint64_t lFill, uint64_t lConsumed) {
    return ConsumedFileProgress(clFile.Position(), lFill, lConsumed, clFile.Size());
}
