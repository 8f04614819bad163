#include "OpenFileFormat.h"

#include "BrennovarstikFileFormatV1.h"
#include "FormatChoice.h"
#include "ProprietaryTmwFileFormatV1.h"
#include "TmwFileFormatV1.h"

#include <new>

namespace {

// The one place that maps a format to its class.
std::unique_ptr<CVirtualFileFormat> CreateFileFormat(FileFormatKind enKind) {
    switch (enKind) {
    case FileFormatKind::Container:
        return std::unique_ptr<CVirtualFileFormat>(new (std::nothrow) CBrennovarstikFileFormatV1());
    case FileFormatKind::ProprietaryTmw:
        return std::unique_ptr<CVirtualFileFormat>(new (std::nothrow)
                                                       CProprietaryTmwFileFormatV1());
    case FileFormatKind::Tmw:
        return std::unique_ptr<CVirtualFileFormat>(new (std::nothrow) CTmwFileFormatV1());
    }
    return nullptr;
}

} // namespace

std::unique_ptr<CVirtualFileFormat> OpenFileFormat(const wchar_t *clstrPath,
                                                   FileHeaderInfo &clInfo) {
    if (clstrPath == nullptr)
        return nullptr;
    std::unique_ptr<CVirtualFileFormat> pFormat = CreateFileFormat(ChooseFileFormat(clstrPath));
    if (!pFormat)
        return nullptr;
    if (pFormat->OpenFile(clstrPath, clInfo, 0) != FILE_OK) {
        pFormat->CloseFile();
        return nullptr;
    }
    pFormat->SetOption(0, 1);
    return pFormat;
}
