// Whom a "=>" rule may give the player's text. No list of names can know what every program
// does with its arguments, so trust is stated, not guessed:
// - a field ({line}, {command}, {args}) may go without a word to the admin's own code: a program
//   beside the rule file, or an interpreter or a shell that runs a script beside the rule file;
// - a field given to any other program (one on the PATH, or by an absolute path) needs the
//   rule's mark "=>!", which says that the program takes the player's text as data only;
// - even with the mark, what surely runs the text is refused: a field where a shell, an
//   interpreter, an editor or a launcher takes its program, a module or code (found whatever
//   options stand before it), where one still reads options that run code, and any field given
//   to a program that hands its words on to a shell or a terminal.
// Roles are those of the files that run: a link beside the rules to python3, or a second name
// (hard link) of it, is python3. They are decided again just before each run, on what runs then.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"
#include "programs/program_files.h"
#include "rules/program_roles.h"

// Why the player's text may go where the rule's words send it.
enum class Trust {
  kNoField,       // no field: the player's text goes nowhere but the environment
  kOwnCode,       // to the admin's own program or script
  kOwnOnceThere,  // to a program not there yet, which may run only from beside the rule file
  kMarked,        // to another program, which the rule's mark says takes it as data only
};

// One look at what a word of a rule names now: where it is, whether it can run, and the role of
// the file that runs.
struct ProgramLook {
  Result<std::string> located = Reason{"not looked for"};
  Result<std::string> runnable = Reason{"not looked for"};
  ProgramRole role = ProgramRole::kOther;
  std::string knownAs;  // the name the role is known by: the word, or the file that runs
  std::string what;     // "" for the word's own name, else "a link to X" or "the same file as X"
};

ProgramLook LookUpProgram(const std::string& word, const std::string& ruleFolder,
                          ProgramNames names = kHostProgramNames);

// Why the words of a "=>" rule (its program, then its arguments, as split) may not take the
// player's text; else how they may, with a note for what is allowed but likely unsafe or not
// needed. ruleFolder is where the rule file is; marked says whether the rule carries "=>!";
// program is the look at words[0].
Result<Noted<Trust>> CheckPlayersText(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, bool marked,
                                      const ProgramLook& program,
                                      ProgramNames names = kHostProgramNames);
Result<Noted<Trust>> CheckPlayersText(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, bool marked,
                                      ProgramNames names = kHostProgramNames);

// The same check just before a run, on what runs then: why it may not run now, naming the file
// and what it is now.
Result<> CheckBeforeRun(const std::vector<std::string>& words, const std::string& ruleFolder,
                        bool marked);

// The files of the admin's own code that the rule runs: its program, when it is beside the rule
// file, and the script that an interpreter or a shell runs from there. The strict modes keep
// them from other users.
std::vector<std::string> OwnCodeFiles(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, const ProgramLook& program,
                                      ProgramNames names = kHostProgramNames);
