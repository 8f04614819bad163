#include "WidePath.h"

#include <cwchar>

namespace {

void AppendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

bool WidePathToNative(const wchar_t *clstrPath, std::string &clstrNative) {
    clstrNative.clear();
    if (clstrPath == nullptr)
        return false;
    const size_t lLength = std::wcslen(clstrPath);
    if (lLength == 0 || lLength > kPlatformMaxPathChars)
        return false;
    for (size_t i = 0; i < lLength; ++i) {
        const auto c = char32_t(clstrPath[i]);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        AppendUtf8(clstrNative, c);
    }
    return true;
}

std::wstring NativePathToWide(const std::string &clstrNative) {
    std::wstring result;
    const auto *p = reinterpret_cast<const unsigned char *>(clstrNative.data());
    const size_t n = clstrNative.size();
    for (size_t i = 0; i < n;) {
        char32_t c = p[i];
        int extra = 0;
        if (c >= 0xF0 && c < 0xF8) {
            c &= 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            c &= 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            c &= 0x1F;
            extra = 1;
        } else if (c >= 0x80) {
            c = 0xFFFD; // stray continuation byte
        }
        ++i;
        for (int k = 0; k < extra && i < n && (p[i] & 0xC0) == 0x80; ++k, ++i)
            c = (c << 6) | (p[i] & 0x3F);
        result += wchar_t(c);
    }
    return result;
}
