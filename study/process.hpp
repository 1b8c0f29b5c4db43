// Starting the study's programs (upscale_maps, upscale_sweep, sbatch) and
// quoting words for the shell and for Slurm's file-name patterns.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Exit statuses span 0..255 (stops such as 99999 arrive as 159), so a
// process killed by a signal is told apart above them.
constexpr int killed_by_signal = 256;

// Runs `program` with `args` in `directory`, standard input from `input`
// (or /dev/null), standard output and error into the two files; returns
// the exit status (0..255), killed_by_signal + the signal for a process
// killed by one, or -errno when the program could not be started.  With
// `search_path` the program is looked up on PATH.  The program is killed
// (SIGKILL) when the thread that started it ends, the whole upscale_study
// with it: a study killed leaves none of its programs running.
int run_process(const std::filesystem::path& program, const std::vector<std::string>& args,
                const std::filesystem::path& directory, const std::filesystem::path& input,
                const std::filesystem::path& output, const std::filesystem::path& error, bool search_path = false);

// "ended with status n", "was killed by signal n" or "could not be started
// (why)", for a value returned by run_process.
std::string status_text(int status);

// The message of a program that stopped: the lines of its standard output
// (the sweep's own summary lines left out) and the "STOP n" of its error
// stream.
std::string stop_message(const std::filesystem::path& out, const std::filesystem::path& err);

// Single quotes for the shell, a quote inside written as '\''.
std::string shell_quoted(const std::string& text);

// A path for sbatch's --output and --error, whose "%" starts a pattern
// (%a the task, %j the job): every "%" of the path doubled, so that Slurm
// writes it as one.  `pattern` is appended as it is.
std::string slurm_file_pattern(const std::filesystem::path& directory, const std::string& pattern);
