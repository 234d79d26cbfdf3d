// Where the launcher's process looks for DLLs that are loaded on demand.
#pragma once

// Makes the system folder the only place the process searches for DLLs loaded
// by name from now on, so that a DLL dropped beside the launcher (a download
// folder, a folder any program may write to) is never loaded in its stead.
// Where the system lacks that setting, at least the current directory is
// taken out of the search. The setting is the process's own: the game, a
// process of its own, still finds the DLLs in its folder.
void RestrictDllSearchToSystemFolder();
