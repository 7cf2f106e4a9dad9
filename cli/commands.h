#pragma once
// The subcommands of kavrel-cli; each returns the process's exit code
// (0 done, 1 failure, 2 usage, 130 interrupted).
namespace kavrel::cli {

int readCommand(int argc, char** argv);
int demuxCommand(int argc, char** argv);
int rebuildCommand(int argc, char** argv);
int xplCommand(int argc, char** argv);
int titlesCommand(int argc, char** argv);
int subsCommand(int argc, char** argv);
int mkvCommand(int argc, char** argv);
int tracksCommand(int argc, char** argv);

}  // namespace kavrel::cli
