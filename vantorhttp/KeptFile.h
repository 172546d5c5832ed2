// The file of a kept download, which the owner names and keeps across runs:
// opening it safely, and taking back the bytes an earlier run left in it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CSha256;

// Opens (or creates) the file for reading and writing, shared for reading
// and deleting only. Refuses a folder, a link and a file with another name
// besides this one: writing through those would change another file.
HANDLE OpenKeptFile(const std::wstring& path);

// Cuts the file to nHeld bytes and hashes them into pHasher (null: no
// hash), leaving the file position at the end. False when the file holds
// fewer bytes or cannot be read; the file is then emptied if possible.
bool TakeBackHeldBytes(HANDLE hFile, uint64_t nHeld, CSha256* pHasher);
