#pragma once
#include <cstddef>

// Writes that survive a crash or a power cut: a file is replaced whole or not
// at all, and an append adds its data whole or nothing. Nothing here
// allocates; the callers print their own messages.

// Replaces the file at path with data: written whole to temppath (same
// directory), synced, renamed over path, and the directory synced, so a crash
// leaves the old file or the new one. 0; -1 when the temporary file can't be
// opened; -2 when writing, syncing, closing or renaming fails (errno tells
// why; the temporary file is removed and the old file stays).
int replacedurably(const char* path, const char* temppath, const char* data, size_t len);

// Appends data in one write and syncs it; on any failure the file is cut back
// to its old length (errno tells why). A file the append creates has its
// directory synced too. 0, or -1.
int appenddurably(const char* path, const char* data, size_t len);

// The same; opened tells whether the file could be opened, for callers whose
// messages tell the two failures apart.
int appenddurably(const char* path, const char* data, size_t len, bool& opened);

// Writes all of data to fd, going on after short writes and interruptions;
// false when a write fails.
bool writeall(int fd, const char* data, size_t len);
