#pragma once
#include <cstdio>
#include <ctime>
#include <string>

// The four output files, written from the interface table and the paths.
// Every operation opens and closes its files within the call.

// Sizes the line buffer and the persistent file's temporary path for the
// current table, once, so that a cycle allocates nothing. 0 or -1.
int preparedayfiles();

// Rewrites the rate file and the today file; -1 if either can't be opened.
int saveratestofile();

// Replaces the persistent day file atomically with date and the day totals.
// -1 if its temporary file can't be opened; a failed write keeps the old file,
// is reported on standard error and still gives 0.
int persisttodayvolume(tm date);

// Appends the history line of date; -1 if the history file can't be opened.
int savevolumes(tm date);

// Appends the persistent day file's line to the history: -1 if the former
// can't be read, -2 if the latter can't be opened.
int copypersistenttovolumes();

// Loads the day totals from the persistent day file: 0, -1 can't open,
// -2 empty, -3 no date stamp.
int loadpersistentvaluestoaccs();

// The date of the persistent day file's first line; results as above.
int getpersistentfiledate(tm* date);

// The date of the history file's last line; results as above.
int getvolumesdate(tm* date);

// Copies the last non-empty line of stream, whole and without its newline,
// into line and closes the stream. Always 0.
int getLastLineOfFile(FILE* stream, std::string& line);
