// The launcher's temporary files: "tmb" + four upper-case hexadecimal digits +
// ".tmp", in the launcher's directory. A file that a run could not delete keeps
// that form and is removed by a later start.
#pragma once

#include <string>

#include "common/win32/handles.h"

// A temporary file this run created, with the handle that created it. The
// handle writes and lets others only read: while it is open, nobody can delete
// the file (a stale-file sweep of another launcher included) and so nobody can
// take its name either.
struct OwnTempFile {
  std::string path;
  win32::UniqueFileHandle writer;

  bool Created() const { return writer.valid(); }
};

// Creates a new, empty, visible file "tmbXXXX.tmp" in `directory` (which ends
// in a separator), exclusively: starting from `firstNumber`, each number whose
// name is taken is passed over for the next one. Not created when no name
// could be had.
OwnTempFile CreateOwnTempFile(const std::string& directory, unsigned firstNumber);

// CreateOwnTempFile with a start number taken from the clock, so that
// launchers sharing a directory seldom try the same names.
OwnTempFile CreateOwnTempFile(const std::string& directory);

// Deletes the temporary files that earlier runs left in `directory` (which
// ends in a separator). Entries that are not of the launcher's name form,
// directories and files that cannot be deleted (a game another launcher is
// running) stay.
void RemoveStaleTempFilesIn(const std::string& directory);

// RemoveStaleTempFilesIn the launcher's directory.
void RemoveStaleTempFiles();

// Up to ten attempts to delete `path`, each after a wait of 500 ms; gives up
// silently after the tenth failure.
void DeleteFileWithRetries(const std::string& path);
