// Reading a command line the way the tools do: positional arguments in order, "--" ending the
// options, and an option's value either attached ("--name=value") or as the next argument.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace command_line {

class Reader {
public:
  Reader(int argc, char** argv) : argc(argc), argv(argv) {}

  // The next option's name ("-x", or "--name" without any attached value); the positional
  // arguments met on the way go to `positional`. False when the arguments are used up.
  bool nextOption(std::string& name, std::vector<std::string>& positional) {
    while (++index < argc) {
      std::string arg = argv[index];
      if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
        positional.push_back(arg);
        continue;
      }
      if (arg == "--") {
        optionsDone = true;
        continue;
      }
      attached.reset();
      if (arg.rfind("--", 0) == 0) {
        const auto equals = arg.find('=');
        if (equals != std::string::npos) {
          attached = arg.substr(equals + 1);
          arg.resize(equals);
        }
      }
      name = arg;
      return true;
    }
    return false;
  }

  // The current option's value: the attached one, else the next argument (which is then used
  // up). False when there is none.
  bool value(std::string& out) {
    if (attached) {
      out = *attached;
      return true;
    }
    if (index + 1 >= argc) return false;
    out = argv[++index];
    return true;
  }

private:
  int argc;
  char** argv;
  int index = 0;
  bool optionsDone = false;
  std::optional<std::string> attached;
};

// `text` as a whole decimal number from `lowest` to `highest`, or nothing.
inline std::optional<long> wholeNumber(const std::string& text, long lowest, long highest) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < lowest || n > highest) return std::nullopt;
  return n;
}

} // namespace command_line
