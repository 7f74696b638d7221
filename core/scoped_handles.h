// Holders that close a registry key or a kernel handle when they go out of
// scope, for functions with several ways out.
#pragma once
#include <windows.h>

class ScopedKey {
public:
    ScopedKey() : key(NULL) {}
    ~ScopedKey() { Close(); }
    HKEY* Receive() { Close(); return &key; }
    HKEY Get() const { return key; }
    void Close()
    {
        if (key)
            RegCloseKey(key);
        key = NULL;
    }

private:
    ScopedKey(const ScopedKey&);
    ScopedKey& operator=(const ScopedKey&);
    HKEY key;
};

// Either kind of "no handle" (NULL or INVALID_HANDLE_VALUE) is never closed.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = NULL) : handle(handle) {}
    ~ScopedHandle() { Close(); }
    HANDLE Get() const { return handle; }
    bool Valid() const { return handle != NULL && handle != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (Valid())
            CloseHandle(handle);
        handle = NULL;
    }

private:
    ScopedHandle(const ScopedHandle&);
    ScopedHandle& operator=(const ScopedHandle&);
    HANDLE handle;
};
