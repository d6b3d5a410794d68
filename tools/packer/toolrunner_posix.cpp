#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "binary.h"
#include "stopsignal.h"
#include "toolrunner.h"

namespace quillpack {

void RunTool(const std::vector<std::string>& argv, const std::string& cwd) {
  ThrowIfStopped();
  int out[2], failure[2];
  if (pipe(out) != 0) throw PackError(std::string("cannot create a pipe: ") + std::strerror(errno));
  // The child reports a failed chdir or exec through this close-on-exec pipe.
  if (pipe2(failure, O_CLOEXEC) != 0) {
    const std::string why = std::strerror(errno);
    close(out[0]);
    close(out[1]);
    throw PackError("cannot create a pipe: " + why);
  }

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) {
    const std::string why = std::strerror(errno);
    for (int fd : {out[0], out[1], failure[0], failure[1]}) close(fd);
    throw PackError("cannot start " + argv[0] + ": " + why);
  }
  if (pid == 0) {
    close(out[0]);
    close(failure[0]);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    dup2(out[1], 1);
    dup2(out[1], 2);
    if (chdir(cwd.c_str()) == 0) execvp(args[0], args.data());
    int err = errno;
    ssize_t ignored = write(failure[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  SetRunningChild(pid);
  close(out[1]);
  close(failure[1]);

  std::string output;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) output.append(buf, size_t(n));
  close(out[0]);
  int childErr = 0;
  const bool startFailed = read(failure[0], &childErr, sizeof childErr) == sizeof childErr;
  close(failure[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  SetRunningChild(0);
  // The tool failed because it was stopped with us: say that, not its error.
  ThrowIfStopped();

  const size_t first = output.find_first_not_of(" \r\n");
  output = first == std::string::npos ? std::string() : output.substr(first, output.find_last_not_of(" \r\n") - first + 1);
  if (startFailed)
    throw PackError("cannot run " + argv[0] + " in " + cwd + ": " + std::strerror(childErr) +
                    (childErr == ENOENT ? " (is it installed and on PATH?)" : ""));
  if (WIFSIGNALED(status)) throw PackError(argv[0] + " was killed by signal " + std::to_string(WTERMSIG(status)));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw PackError(argv[0] + " failed with exit code " + std::to_string(WEXITSTATUS(status)) +
                    (output.empty() ? std::string() : ":\n" + output));
}

}  // namespace quillpack
