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
// -1 if its temporary file can't be opened; -2 if writing, flushing or
// renaming it fails (reported on standard error; the old file stays).
int persisttodayvolume(tm date);

// Appends the history line of date, whole and flushed to disk; -1 if the
// history file can't be opened or the line can't be written whole (the file
// is then cut back to its old length).
int savevolumes(tm date);

// The persistent day file's line is its first line that holds more than
// blanks: the date, the totals and the archived line all come from it.

// Appends the persistent day file's line to the history as savevolumes does:
// -1 if the former can't be read, -2 if the latter can't take the line.
int copypersistenttovolumes();

// Moves a last history line without its newline, which a power loss cut in
// the middle of an append, to the torn file beside the history (with a line on
// standard error), so the history holds whole lines. 0, or -1 if it can't.
int repairvolumes();

// Where repairvolumes puts the torn lines: the history's path and ".torn".
std::string tornhistorypath();

// Loads the day totals from the persistent day file: 0, -1 can't open,
// -2 empty, -3 no date stamp.
int loadpersistentvaluestoaccs();

// The date of the persistent day file's line; results as above.
int getpersistentfiledate(tm* date);

// The date of the history file's last line; results as above.
int getvolumesdate(tm* date);

// Copies the last non-empty line of stream, whole and without its newline,
// into line and closes the stream. Always 0.
int getLastLineOfFile(FILE* stream, std::string& line);
