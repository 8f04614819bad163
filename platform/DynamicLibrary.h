// A shared library loaded by path, with its functions looked up by name.
#pragma once

class CDynamicLibrary {
  public:
    CDynamicLibrary() = default;
    ~CDynamicLibrary();
    CDynamicLibrary(const CDynamicLibrary &) = delete;
    CDynamicLibrary &operator=(const CDynamicLibrary &) = delete;

    // Resolves every symbol at once, so a library with a missing dependency
    // fails here and not at its first call; its symbols stay private to it.
    // Fails when a library is already loaded by this object.
    bool Load(const wchar_t *clstrPath);
    // Null when nothing is loaded or the name is not exported.
    void *Symbol(const char *pName) const;
    void Unload();
    bool IsLoaded() const { return m_pHandle != nullptr; }

  private:
    void *m_pHandle = nullptr;
};
