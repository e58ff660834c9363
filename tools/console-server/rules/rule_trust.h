// Whom a "=>" rule may give the player's text. No list of names can know what every program
// does with its arguments, so trust is stated, not guessed:
// - a field ({line}, {command}, {args}) may go without a word to the admin's own code: a program
//   beside the rule file, or an interpreter that runs a script beside the rule file;
// - a field given to any other program (one on the PATH, or by an absolute path) needs the
//   rule's mark "=>!", which says that the program takes the player's text as data only;
// - even with the mark, what surely runs the text is refused: a shell, an interpreter or a
//   stream editor given the field as its program or as the value of one of its code flags,
//   a program that hands its arguments on to a shell or a terminal, and a launcher given the
//   field as the program to start.
// Names are those of the files that run: a link beside the rules to python3 is python3.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"
#include "programs/program_files.h"

// Why the player's text may go where the rule's words send it.
enum class Trust {
  kNoField,       // no field: the player's text goes nowhere but the environment
  kOwnCode,       // to the admin's own program or script
  kOwnOnceThere,  // to a program not there yet, which may run only from beside the rule file
  kMarked,        // to another program, which the rule's mark says takes it as data only
};

// Why the words of a "=>" rule (its program, then its arguments, as split) may not take the
// player's text; else how they may, with a note for what is allowed but likely unsafe (a field
// that opens a word with no "--" before it, given to a program not of the admin's own).
// ruleFolder is where the rule file is; marked says whether the rule carries "=>!".
Result<Noted<Trust>> CheckPlayersText(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, bool marked,
                                      ProgramNames names = kHostProgramNames);
