// The commands of vlutool, the command-line tool for Vellum files. Each
// command is a function over its arguments that leaves its normal output in
// out and a failure as one line in error; RunVlutool parses the command
// line, runs one command with the consistency stop turned into a failed
// check, and writes out the output only when the command succeeded (check
// writes its findings either way).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ck::vlutool {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // the command failed, or check found faults
constexpr int kExitUsage = 2;   // the command line was wrong

// What a command works with and leaves behind.
struct Invocation {
  std::string owner;               // --owner: the password of an enciphered file
  std::vector<std::string> args;   // the command's arguments (after its name)
  std::string out;                 // normal output
  std::string error;               // the one failure line (without "vlutool: ")
};

// Runs the command line args (without the program name); returns the exit code.
int RunVlutool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The commands. Each returns an exit code.
int CmdTables(Invocation& in);
int CmdDump(Invocation& in);
int CmdEntries(Invocation& in);
int CmdPages(Invocation& in);
int CmdCheck(Invocation& in);
int CmdCreate(Invocation& in);
int CmdAdd(Invocation& in);
int CmdGet(Invocation& in);
int CmdPut(Invocation& in);
int CmdDelete(Invocation& in);
int CmdImport(Invocation& in);
int CmdExport(Invocation& in);

// Shared by the commands: reads a whole file (false with *error when it cannot).
bool ReadWholeFile(const std::string& path, std::string* text, std::string* error);
// Fails the invocation with a message; returns kExitFailed.
int Fail(Invocation& in, const std::string& message);

}  // namespace ck::vlutool
