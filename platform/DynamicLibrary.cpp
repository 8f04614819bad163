#include "DynamicLibrary.h"

#include "WidePath.h"

#include <dlfcn.h>
#include <string>

CDynamicLibrary::~CDynamicLibrary() {
    Unload();
}

bool CDynamicLibrary::Load(const wchar_t *clstrPath) {
    if (IsLoaded())
        return false;
    std::string clstrNative;
    if (!WidePathToNative(clstrPath, clstrNative))
        return false;
    // A name without a slash would be searched on the library path; the
    // caller means the file at this path.
    if (clstrNative.find('/') == std::string::npos)
        clstrNative.insert(0, "./");
    m_pHandle = dlopen(clstrNative.c_str(), RTLD_NOW | RTLD_LOCAL);
    return m_pHandle != nullptr;
}

void *CDynamicLibrary::Symbol(const char *pName) const {
    if (!IsLoaded() || pName == nullptr)
        return nullptr;
    return dlsym(m_pHandle, pName);
}

void CDynamicLibrary::Unload() {
    if (!IsLoaded())
        return;
    dlclose(m_pHandle);
    m_pHandle = nullptr;
}
