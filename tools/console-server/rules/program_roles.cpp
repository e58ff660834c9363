#include "rules/program_roles.h"

#include <cctype>

#include "common/text_bytes.h"
#include "programs/text.h"
#include "rules/rule_fields.h"

namespace {

// How a program reads its options. Each list holds whole options parted by spaces; a one-dash
// option of one letter also takes its value attached (-e{args}), a long one after "=". Written
// as OptionReading().Program("-c").Values("-W"), so that each row names what it sets.
struct OptionReading {
  std::string_view program;    // the value is its program: code (-c, -e) or a module (-m)
  std::string_view script;     // the value is the file of its program (-f FILE)
  std::string_view code;       // the value is code to load, but not its program (-r LIB, -M, -l)
  std::string_view values;     // the value is plain data (-F SEP, -u USER)
  std::string_view bundle;     // letters that end a bundle of flags and take code (perl -ne)
  std::string_view skipped;    // words that are neither options nor its program (deno run)
  std::string_view shell;      // flags after which its words go to a shell (sudo -s)
  std::string_view needed;     // options without which its words go to a shell (runuser -u)
  int leading = 0;             // words before the program a launcher starts (timeout 5)
  bool endsAtProgram = false;  // a program option ends its options (python -c, -m)
  bool anywhere = false;       // options are read anywhere up to "--" (GNU sed, vim)
  bool takesProgram = true;    // an editor takes files, not a program
  bool plusIsCode = false;     // a word that opens with "+" is a command (vim +CMD)
  bool assignments = false;    // NAME=VALUE words come before the program (env)
  bool slashOptions = false;   // options open with "/" (start /D DIR)

  constexpr OptionReading Program(std::string_view list) const {
    OptionReading r = *this;
    r.program = list;
    return r;
  }
  constexpr OptionReading Script(std::string_view list) const {
    OptionReading r = *this;
    r.script = list;
    return r;
  }
  constexpr OptionReading Code(std::string_view list) const {
    OptionReading r = *this;
    r.code = list;
    return r;
  }
  constexpr OptionReading Values(std::string_view list) const {
    OptionReading r = *this;
    r.values = list;
    return r;
  }
  constexpr OptionReading Bundle(std::string_view letters) const {
    OptionReading r = *this;
    r.bundle = letters;
    return r;
  }
  constexpr OptionReading Skipped(std::string_view list) const {
    OptionReading r = *this;
    r.skipped = list;
    return r;
  }
  constexpr OptionReading Shell(std::string_view list) const {
    OptionReading r = *this;
    r.shell = list;
    return r;
  }
  constexpr OptionReading Needed(std::string_view list) const {
    OptionReading r = *this;
    r.needed = list;
    return r;
  }
  constexpr OptionReading Leading(int words) const {
    OptionReading r = *this;
    r.leading = words;
    return r;
  }
  constexpr OptionReading EndsAtProgram() const {
    OptionReading r = *this;
    r.endsAtProgram = true;
    return r;
  }
  constexpr OptionReading Anywhere() const {
    OptionReading r = *this;
    r.anywhere = true;
    return r;
  }
  constexpr OptionReading TakesFiles() const {
    OptionReading r = *this;
    r.takesProgram = false;
    return r;
  }
  constexpr OptionReading PlusIsCode() const {
    OptionReading r = *this;
    r.plusIsCode = true;
    return r;
  }
  constexpr OptionReading Assignments() const {
    OptionReading r = *this;
    r.assignments = true;
    return r;
  }
  constexpr OptionReading SlashOptions() const {
    OptionReading r = *this;
    r.slashOptions = true;
    return r;
  }
};

using O = OptionReading;
constexpr O kPlain{};
constexpr O kPosixShell = O().Program("-c --command")
                              .Code("--rcfile --init-file -C --init-command")
                              .Values("-o +o -O +O")
                              .Bundle("c");
constexpr O kPython =
    O().Program("-c -m").Values("-W -X --check-hash-based-pycs").Bundle("cm").EndsAtProgram();
constexpr O kPerl = O().Program("-e -E").Code("-M -m -I").Bundle("eE");
constexpr O kRuby =
    O().Program("-e").Code("-r -I --require").Values("-C -E --encoding -F").Bundle("e");
constexpr O kNode = O().Program("-e --eval -p --print")
                        .Code("-r --require --import --loader --experimental-loader")
                        .Values("-C --conditions --input-type --title")
                        .Bundle("ep");
constexpr O kPhp = O().Program("-r -B -R -F -E")
                       .Script("-f --file")
                       .Code("-c -z -d --php-ini --zend-extension --define")
                       .Values("-t");
constexpr O kLua = O().Program("-e").Code("-l");
constexpr O kAwk = O().Program("-e --source")
                       .Script("-f --file")
                       .Code("-i --include -l --load -W")
                       .Values("-F -v --assign --field-separator");
constexpr O kSed = O().Program("-e --expression")
                       .Script("-f --file")
                       .Values("-l --line-length")
                       .Bundle("ef")
                       .Anywhere();
constexpr O kR = O().Program("-e").Script("-f --file");
constexpr O kJulia = O().Program("-e -E --eval --print")
                         .Code("-L --load -J --sysimage")
                         .Values("-p --procs -t --threads -C --cpu-target -H --home");
constexpr O kDeno = O().Program("eval --eval")
                        .Code("--eval-file --import-map --config -c --preload")
                        .Skipped("run serve test x task repl bench compile");
constexpr O kBun =
    O().Program("-e --eval -p --print exec").Code("-r --preload --config -c").Skipped("run x test");
constexpr O kExpect = O().Program("-c").Script("-f").Bundle("c");
constexpr O kOsascript = O().Program("-e").Values("-l -s");
constexpr O kGuile = O().Program("-c").Script("-s").Code("-l -e -x -L");
constexpr O kRacket = O().Program("-e --eval -f --load -t --require -l --lib -r --script -u");
constexpr O kSbcl = O().Program("--eval").Script("--script --load");
constexpr O kElixir =
    O().Program("-e --eval").Code("-r -pr -pa -pz").Values("--cookie --sname --name");
constexpr O kErl =
    O().Code("-eval -s -run -pa -pz -boot -config -args_file").Values("-name -sname -setcookie");
constexpr O kRaku = O().Program("-e").Code("-I -M").Bundle("e");
constexpr O kQuickJs = O().Program("-e --eval").Code("-I --include -m --module");
constexpr O kGroovy = O().Program("-e").Code("-cp -classpath --classpath");
constexpr O kJava = O().Script("-jar").Code(
    "-cp -classpath --class-path -p --module-path -m --module --add-modules");
constexpr O kVim = O().Code("-c --cmd -S -u -U -s")
                       .Values("-t -q -w -W -T -i")
                       .Anywhere()
                       .TakesFiles()
                       .PlusIsCode();
constexpr O kEmacs = O().Code("--eval -l --load -f --funcall --script -x -L --directory")
                         .Values("-t --terminal -d --display")
                         .Anywhere()
                         .TakesFiles();
constexpr O kGdb =
    O().Program(
           "-ex --ex -eval-command --eval-command -iex --iex -init-eval-command "
           "--init-eval-command")
        .Script("-x --command -ix --init-command")
        .Values("-p --pid -c --core -cd --cd -d --directory -s --symbols -e --exec -se --tty");
constexpr O kLldb = O().Program("-o --one-line -O --one-line-before-file -k --one-line-on-crash")
                        .Script("-s --source -S --source-before-file")
                        .Values("-p --attach-pid -n --attach-name -c --core -a --arch");
constexpr O kSudo = O().Values(
                           "-u --user -g --group -C --close-from -D --chdir -h --host -p "
                           "--prompt -r --role -t --type -U --other-user -T "
                           "--command-timeout -R --chroot")
                        .Shell("-s --shell -i --login");
constexpr O kDoas = O().Values("-u -C").Shell("-s");
constexpr O kRunuser = O().Program("-c --command --session-command")
                           .Code("-s --shell")
                           .Values(
                               "-u --user -g --group -G --supp-group -w "
                               "--whitelist-environment")
                           .Shell("-l --login")
                           .Needed("-u --user");
constexpr O kPkexec = O().Values("--user");
constexpr O kEnv =
    O().Program("-S --split-string").Values("-u --unset -C --chdir -a --argv0").Assignments();
constexpr O kNice = O().Values("-n --adjustment");
constexpr O kIonice = O().Values("-c --class -n --classdata -p --pid -P --pgid");
constexpr O kTimeout = O().Values("-s --signal -k --kill-after").Leading(1);
constexpr O kLeadingWord = O().Leading(1);
constexpr O kFlock =
    O().Program("-c --command").Values("-w --timeout -E --conflict-exit-code").Leading(1);
constexpr O kChroot = O().Values("--userspec --groups").Leading(1);
constexpr O kUnshare =
    O().Values("-S --setuid -G --setgid -R --root -w --wd --map-user --map-group");
constexpr O kStdbuf = O().Values("-i --input -o --output -e --error");
constexpr O kXargs = O().Values(
    "-I -L -n -P -s -d -E -a --arg-file --max-args --max-procs --delimiter --max-lines "
    "--replace --eof");
constexpr O kNsenter = O().Values("-t --target -S --setuid -G --setgid -w --wd -r --root");
constexpr O kSystemdRun = O().Values(
    "-u --unit -p --property -E --setenv --working-directory -M --machine --slice "
    "--description --uid --gid --nice");
constexpr O kTrace = O().Values("-o -e -p -s -u -E -I -b -a -P -X -n");
constexpr O kTime = O().Values("-f --format -o --output");
constexpr O kFakeroot = O().Values("-s -i -l --lib --faked");
constexpr O kNpx = O().Program("-c --call").Values("-p --package");
constexpr O kSshpass = O().Values("-p -f -d -P");
// "start" takes a title before the program, when it is quoted: either word may be the program.
constexpr O kStart = O().Values("/D /NODE /AFFINITY").Leading(1).SlashOptions();

struct KnownProgram {
  std::string_view name;
  ProgramRole role;
  const OptionReading& reading;
};

constexpr ProgramRole kShell = ProgramRole::kShell;
constexpr ProgramRole kInterpreter = ProgramRole::kInterpreter;
constexpr ProgramRole kHandsOn = ProgramRole::kHandsOn;
constexpr ProgramRole kLauncher = ProgramRole::kLauncher;
constexpr ProgramRole kEditor = ProgramRole::kEditor;

// Shells that run a script file given first (sh note.sh) have kPosixShell; the others take every
// word as a command.
constexpr KnownProgram kKnownPrograms[] = {
    // Shells.
    {"cmd", kShell, kPlain},
    {"powershell", kShell, kPlain},
    {"pwsh", kShell, kPlain},
    {"busybox", kShell, kPlain},
    {"sh", kShell, kPosixShell},
    {"bash", kShell, kPosixShell},
    {"rbash", kShell, kPosixShell},
    {"dash", kShell, kPosixShell},
    {"ash", kShell, kPosixShell},
    {"zsh", kShell, kPosixShell},
    {"ksh", kShell, kPosixShell},
    {"mksh", kShell, kPosixShell},
    {"yash", kShell, kPosixShell},
    {"csh", kShell, kPosixShell},
    {"tcsh", kShell, kPosixShell},
    {"fish", kShell, kPosixShell},
    // Interpreters.
    {"awk", kInterpreter, kAwk},
    {"gawk", kInterpreter, kAwk},
    {"mawk", kInterpreter, kAwk},
    {"nawk", kInterpreter, kAwk},
    {"perl", kInterpreter, kPerl},
    {"python", kInterpreter, kPython},
    {"pythonw", kInterpreter, kPython},
    {"py", kInterpreter, kPython},
    {"pypy", kInterpreter, kPython},
    {"ipython", kInterpreter, kPython},
    {"ruby", kInterpreter, kRuby},
    {"node", kInterpreter, kNode},
    {"nodejs", kInterpreter, kNode},
    {"php", kInterpreter, kPhp},
    {"lua", kInterpreter, kLua},
    {"luajit", kInterpreter, kLua},
    {"tclsh", kInterpreter, kPlain},
    {"wish", kInterpreter, kPlain},
    {"Rscript", kInterpreter, kR},
    {"R", kInterpreter, kR},
    {"julia", kInterpreter, kJulia},
    {"deno", kInterpreter, kDeno},
    {"bun", kInterpreter, kBun},
    {"expect", kInterpreter, kExpect},
    {"osascript", kInterpreter, kOsascript},
    {"guile", kInterpreter, kGuile},
    {"racket", kInterpreter, kRacket},
    {"sbcl", kInterpreter, kSbcl},
    {"elixir", kInterpreter, kElixir},
    {"erl", kInterpreter, kErl},
    {"raku", kInterpreter, kRaku},
    {"perl6", kInterpreter, kRaku},
    {"qjs", kInterpreter, kQuickJs},
    {"groovy", kInterpreter, kGroovy},
    {"java", kInterpreter, kJava},
    {"cscript", kInterpreter, kPlain},
    {"wscript", kInterpreter, kPlain},
    {"mshta", kInterpreter, kPlain},
    {"rundll32", kInterpreter, kPlain},
    {"sed", ProgramRole::kStreamEditor, kSed},
    {"gsed", ProgramRole::kStreamEditor, kSed},
    // Editors.
    {"vim", kEditor, kVim},
    {"vi", kEditor, kVim},
    {"nvim", kEditor, kVim},
    {"ex", kEditor, kVim},
    {"view", kEditor, kVim},
    {"vimdiff", kEditor, kVim},
    {"gvim", kEditor, kVim},
    {"rvim", kEditor, kVim},
    {"emacs", kEditor, kEmacs},
    // Programs that hand their words on to a shell, a terminal or a scheduler.
    {"ssh", kHandsOn, kPlain},
    {"mosh", kHandsOn, kPlain},
    {"wsl", kHandsOn, kPlain},
    {"tmux", kHandsOn, kPlain},
    {"screen", kHandsOn, kPlain},
    {"su", kHandsOn, kPlain},
    {"sg", kHandsOn, kPlain},
    {"watch", kHandsOn, kPlain},
    {"script", kHandsOn, kPlain},
    {"parallel", kHandsOn, kPlain},
    {"xterm", kHandsOn, kPlain},
    {"at", kHandsOn, kPlain},
    {"forfiles", kHandsOn, kPlain},
    {"wmic", kHandsOn, kPlain},
    {"schtasks", kHandsOn, kPlain},
    {"runas", kHandsOn, kPlain},
    {"psexec", kHandsOn, kPlain},
    {"bitsadmin", kHandsOn, kPlain},
    {"msiexec", kHandsOn, kPlain},
    {"sqlite3", ProgramRole::kDatabase, kPlain},
    {"sqlite", ProgramRole::kDatabase, kPlain},
    {"gdb", ProgramRole::kDebugger, kGdb},
    {"lldb", ProgramRole::kDebugger, kLldb},
    // Launchers.
    {"sudo", kLauncher, kSudo},
    {"doas", kLauncher, kDoas},
    {"runuser", kLauncher, kRunuser},
    {"pkexec", kLauncher, kPkexec},
    {"xargs", kLauncher, kXargs},
    {"setsid", kLauncher, kPlain},
    {"nohup", kLauncher, kPlain},
    {"stdbuf", kLauncher, kStdbuf},
    {"chroot", kLauncher, kChroot},
    {"unshare", kLauncher, kUnshare},
    {"nsenter", kLauncher, kNsenter},
    {"setpriv", kLauncher, kPlain},
    {"systemd-run", kLauncher, kSystemdRun},
    {"env", kLauncher, kEnv},
    {"nice", kLauncher, kNice},
    {"ionice", kLauncher, kIonice},
    {"chrt", kLauncher, kLeadingWord},
    {"timeout", kLauncher, kTimeout},
    {"taskset", kLauncher, kLeadingWord},
    {"flock", kLauncher, kFlock},
    {"strace", kLauncher, kTrace},
    {"ltrace", kLauncher, kTrace},
    {"valgrind", kLauncher, kPlain},
    {"time", kLauncher, kTime},
    {"fakeroot", kLauncher, kFakeroot},
    {"faketime", kLauncher, kLeadingWord},
    {"npx", kLauncher, kNpx},
    {"bunx", kLauncher, kPlain},
    {"sshpass", kLauncher, kSshpass},
    {"conhost", kLauncher, kPlain},
    {"start", kLauncher, kStart},
};

// Extensions of scripts and data, which no version suffix ends with: watch.sh is not watch.
constexpr std::string_view kScriptExtensions[] = {
    ".sh",   ".bash", ".py",  ".pyw", ".pl",    ".pm",  ".rb",  ".js",  ".mjs",  ".cjs", ".ts",
    ".php",  ".lua",  ".tcl", ".awk", ".sed",   ".r",   ".jl",  ".exp", ".vbs",  ".ps1", ".txt",
    ".json", ".cfg",  ".ini", ".db",  ".rules", ".csv", ".log", ".md",  ".html", ".xml"};

// The name, or the name with a version after it: a digit, a dot, a dash or an underscore next,
// but for a script's extension.
bool NamesProgram(std::string_view name, std::string_view listed) {
  if (!StartsWith(name, listed)) return false;
  if (name.size() == listed.size()) return true;
  if (std::string_view("0123456789.-_").find(name[listed.size()]) == std::string_view::npos) {
    return false;
  }
  const std::string rest = Lowercase(name.substr(listed.size()));
  for (const std::string_view extension : kScriptExtensions) {
    if (rest == extension) return false;
  }
  return true;
}

// Whether the word names a program as Windows finds it: on Windows, or by a name ending in .exe
// or .com on any system (Linux runs one through Windows' interop, where it is on).
bool WindowsName(std::string_view word, ProgramNames names) {
  const std::string lower = Lowercase(WithoutTrailingDots(word));
  return names == ProgramNames::kWindows || EndsWith(lower, ".exe") || EndsWith(lower, ".com");
}

// The name of the program that a word names, as the system finds it: without its folder and, as
// Windows finds it, in lower case and without .exe or .com.
std::string ProgramName(std::string_view word, ProgramNames names) {
  const bool windows = WindowsName(word, names);
  const std::size_t folder = word.find_last_of(windows ? "/\\" : "/");
  const std::size_t start = folder == std::string_view::npos ? 0 : folder + 1;
  if (!windows) return std::string(word.substr(start));
  // Trimming takes only dots and spaces from the end, so the folder ends at the same place.
  std::string name = Lowercase(WithoutTrailingDots(word)).substr(start);
  if (EndsWith(name, ".exe") || EndsWith(name, ".com")) name.resize(name.size() - 4);
  return name;
}

const KnownProgram* Known(std::string_view word, ProgramNames names) {
  const std::string name = ProgramName(word, names);
  const bool windows = WindowsName(word, names);
  // The longest listed name that fits: "python" before "py", "sqlite3" before "sqlite".
  const KnownProgram* best = nullptr;
  for (const KnownProgram& known : kKnownPrograms) {
    const std::string listed = windows ? Lowercase(known.name) : std::string(known.name);
    if (NamesProgram(name, listed) && (!best || known.name.size() > best->name.size())) {
      best = &known;
    }
  }
  return best;
}

bool InList(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const std::size_t end = list.find(' ');
    if (list.substr(0, end) == word) return true;
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
  }
  return false;
}

// Whether the list holds an option that the word gives with its value attached: -e{args},
// --eval={args}, -Ilib.
bool AttachedInList(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const std::size_t end = list.find(' ');
    const std::string_view option = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    if (!StartsWith(word, option) || word.size() == option.size()) continue;
    if (word[option.size()] == '=' && StartsWith(option, "--")) return true;
    if (option.size() == 2 && option[0] == '-') return true;
  }
  return false;
}

enum class OptionKind { kFlag, kProgram, kScript, kCode, kValue, kShell };

struct Option {
  OptionKind kind = OptionKind::kFlag;
  bool attached = false;  // its value is in the word itself
};

Option ReadOption(const OptionReading& reading, std::string_view word) {
  const std::pair<std::string_view, OptionKind> lists[] = {{reading.program, OptionKind::kProgram},
                                                           {reading.script, OptionKind::kScript},
                                                           {reading.code, OptionKind::kCode},
                                                           {reading.values, OptionKind::kValue},
                                                           {reading.shell, OptionKind::kShell}};
  for (const auto& [list, kind] : lists) {
    if (InList(list, word)) return {kind, false};
  }
  for (const auto& [list, kind] : lists) {
    if (kind != OptionKind::kShell && AttachedInList(list, word)) return {kind, true};
  }
  // A bundle of one-letter flags whose last letter takes code: perl -ne, python3 -Ic.
  if (reading.bundle.empty() || word.size() < 3 || word[1] == '-') return {};
  std::size_t letters = 1;
  while (letters < word.size() && std::isalpha(static_cast<unsigned char>(word[letters]))) {
    ++letters;
  }
  const std::size_t code = word.substr(0, letters).find_last_of(reading.bundle);
  if (code == std::string_view::npos || code == 0) return {};
  return {OptionKind::kProgram, code + 1 < word.size()};
}

bool IsOptionWord(const OptionReading& reading, std::string_view word) {
  // Subcommands that take code: deno eval, bun exec.
  if (InList(reading.program, word)) return true;
  if (word.size() < 2) return false;
  if (word[0] == '-' || StartsWith(word, "//")) return true;
  return reading.slashOptions && word[0] == '/';
}

// Whether the literal text of the word before its first field makes it NAME=VALUE.
bool IsAssignment(std::string_view word) {
  const std::size_t equals = word.find('=');
  const std::size_t open = word.find('{');
  return equals != std::string_view::npos && equals > 0 &&
         (open == std::string_view::npos || equals < open);
}

bool OpensWithField(std::string_view word) {
  return StartsWith(word, "{line}") || StartsWith(word, "{command}") || StartsWith(word, "{args}");
}

}  // namespace

ProgramRole RoleOf(std::string_view word, ProgramNames names) {
  const KnownProgram* known = Known(word, names);
  return known ? known->role : ProgramRole::kOther;
}

std::vector<NamedRole> KnownProgramRoles() {
  std::vector<NamedRole> roles;
  for (const KnownProgram& known : kKnownPrograms) roles.push_back({known.name, known.role});
  return roles;
}

bool RunsScriptFile(std::string_view word, ProgramNames names) {
  const KnownProgram* known = Known(word, names);
  return known && known->role == ProgramRole::kShell && &known->reading == &kPosixShell;
}

std::string_view RoleText(ProgramRole role) {
  switch (role) {
    case ProgramRole::kShell:
      return "the command shell";
    case ProgramRole::kInterpreter:
      return "the interpreter";
    case ProgramRole::kStreamEditor:
      return "the stream editor";
    case ProgramRole::kEditor:
      return "the editor";
    case ProgramRole::kHandsOn:
      return "the program";
    case ProgramRole::kDatabase:
      return "the database shell";
    case ProgramRole::kDebugger:
      return "the debugger";
    case ProgramRole::kLauncher:
      return "the launcher";
    case ProgramRole::kOther:
      break;
  }
  return "the program";
}

FieldReading ReadField(const std::vector<std::string>& words, std::size_t at, std::size_t field,
                       std::string_view knownAs, ProgramNames names) {
  FieldReading read;
  const KnownProgram* known = Known(knownAs, names);
  if (known == nullptr) return read;
  const OptionReading& reading = known->reading;
  bool options = true;
  bool program = !reading.takesProgram;
  bool needed = reading.needed.empty();
  int leading = reading.leading;
  for (std::size_t i = at + 1; i <= field; ++i) {
    const std::string& word = words[i];
    const bool isField = i == field;
    if (options && word == "--") {
      options = false;
      continue;
    }
    if (options && reading.plusIsCode && StartsWith(word, "+")) {
      if (!isField) continue;
      read.place = FieldPlace::kCode;
      read.program = i;
      return read;
    }
    if (options && IsOptionWord(reading, word)) {
      const Option option = ReadOption(reading, word);
      if (InList(reading.needed, word) || AttachedInList(reading.needed, word)) needed = true;
      if (option.kind == OptionKind::kShell) read.toShell = true;
      const bool takesCode = option.kind == OptionKind::kProgram ||
                             option.kind == OptionKind::kScript || option.kind == OptionKind::kCode;
      if (isField) {
        // The field within an option word: its attached value, or the option itself.
        read.place = option.attached && takesCode ? FieldPlace::kCode
                     : option.attached            ? FieldPlace::kArgument
                                                  : FieldPlace::kOption;
        read.program = i;
        read.readsOptions = true;
        return read;
      }
      const bool separate =
          !option.attached && option.kind != OptionKind::kFlag && option.kind != OptionKind::kShell;
      if (separate && i + 1 == field) {
        read.place = takesCode ? FieldPlace::kCode : FieldPlace::kArgument;
        if (takesCode) read.program = i;
        read.readsOptions = true;
        if (!needed) read.toShell = true;
        return read;
      }
      if (option.kind == OptionKind::kProgram || option.kind == OptionKind::kScript) {
        program = true;
        read.program = separate ? i + 1 : i;
        read.programIsFile = option.kind == OptionKind::kScript;
        if (reading.endsAtProgram) options = false;
      }
      if (separate) ++i;
      continue;
    }
    if (options && InList(reading.skipped, word)) continue;
    if (options && reading.assignments && !program && IsAssignment(word)) continue;
    if (isField) break;
    if (leading > 0) {
      --leading;
      continue;
    }
    if (!program) {
      program = true;
      read.program = i;
      read.programIsFile = true;
    }
    if (!reading.anywhere) options = false;
  }
  read.readsOptions = options;
  if (!needed) read.toShell = true;
  if (!program && leading == 0) {
    read.place = FieldPlace::kProgram;
  } else if (options && OpensWithField(words[field])) {
    read.place = FieldPlace::kOption;
  }
  return read;
}
