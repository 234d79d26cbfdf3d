// The launcher's temporary files: "tmb" + four upper-case hexadecimal digits +
// ".tmp", in the launcher's directory. A file that a run could not delete keeps
// that form and is removed by a later start.
#pragma once

#include <string>

// Creates a new, empty, visible file "tmbXXXX.tmp" in `directory` (which ends
// in a separator), exclusively: starting from `firstNumber`, each number whose
// name is taken is passed over for the next one. Returns its full path, or an
// empty text when none could be created.
std::string CreateOwnTempFile(const std::string& directory, unsigned firstNumber);

// CreateOwnTempFile with a start number taken from the clock, so that
// launchers sharing a directory seldom try the same names.
std::string CreateOwnTempFile(const std::string& directory);

// Deletes the temporary files that earlier runs left in the launcher's
// directory. Entries that are not of the launcher's name form, directories and
// files that cannot be deleted (a game another launcher is running) stay.
void RemoveStaleTempFiles();

// Up to ten attempts to delete `path`, each after a wait of 500 ms; gives up
// silently after the tenth failure.
void DeleteFileWithRetries(const std::string& path);
