// A private folder that stands for the game's working directory while the code under test looks
// up help files: the lookups find the files written here, and the folder the fuzzer was started
// in (where libFuzzer keeps its corpus and artifacts) is neither searched nor written.
#pragma once

#include <string>

// Makes the private folder the current directory; the first call creates it, with a few help
// files (kick, spawn, time, and two broken ones: badline and broken).
void EnterHelpFolder();

// Goes back to the directory that was current before EnterHelpFolder.
void LeaveHelpFolder();

// Writes the command's help file in the private folder; call it between Enter and Leave.
void WriteHelpFileHere(const std::string& command, const std::string& content);
