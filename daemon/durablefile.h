#pragma once
#include <cstddef>

// Writes that survive a crash or a power cut whole or not at all. Callers
// report failures themselves (errno tells why). Nothing here allocates.

// Replaces the file at path with data: written whole to temppath (same
// directory), synced, renamed over path, and the directory synced, so a crash
// leaves the old file or the new one. 0; -1 when the temporary file can't be
// opened; -2 when writing, syncing, closing or renaming fails (errno tells
// why; the temporary file is removed and the old file stays).
int replacedurably(const char* path, const char* temppath, const char* data, size_t len);

// Appends data in one write and syncs it; on any failure the file is cut back
// to its old length (errno tells why), and a file the append created is
// removed. A file the append creates has its directory synced too. 0, or -1.
int appenddurably(const char* path, const char* data, size_t len);
