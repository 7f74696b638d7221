// An earlier report read back, to mark what is new since: a process by its
// file's path and MD5, a startup entry by its location, name and command.
// Only the identities are kept (64-bit hashes of their texts, letters A to Z
// folded), in a sorted table. The reader takes any bytes: every length and
// depth is bounded and malformed JSON is refused whole.
#pragma once
#include <windows.h>

const size_t BASELINE_SIZE_LIMIT = 256u * 1024 * 1024;
const int BASELINE_KEY_LIMIT = 1 << 20;

struct Baseline {
    int count;
    int capacity;
    unsigned long long* keys;  // heap memory, sorted once read
};

// NULL text counts as empty, as a JSON null does.
unsigned long long ProcessBaselineKey(const wchar_t* path, const wchar_t* md5);
unsigned long long StartupBaselineKey(const wchar_t* location, const wchar_t* entry, const wchar_t* command);

// Parses a report's JSON (`length` bytes, UTF-8) into `baseline`; false,
// with nothing kept, when it is no report or not JSON. Pure.
bool ReadBaselineText(const char* text, size_t length, Baseline* baseline);
// Reads the file whole and parses it; false with the system's error (or
// ERROR_INVALID_DATA for a file that is no report).
bool LoadBaselineFile(const wchar_t* path, Baseline* baseline, DWORD* error);
bool IsInBaseline(const Baseline* baseline, unsigned long long key);
void FreeBaseline(Baseline* baseline);
