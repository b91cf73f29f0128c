#include "tools/vcm/SetupDialog.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "api/Url.h"
#include "packages/IFileOperations.h"
#include "packages/IInstallerTempDir.h"
#include "platform/AsciiCase.h"
#include "platform/Download.h"
#include "platform/LastError.h"

namespace vcmtool {

namespace {

const int kCommandNotFound = 127;  // the shell's status for a program it cannot find

bool ReadAnswer(std::string& answer) {
    std::fflush(stdout);
    if (!std::getline(std::cin, answer)) {
        std::printf("\n");
        return false;
    }
    if (!answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    const std::string::size_type first = answer.find_first_not_of(" \t");
    const std::string::size_type last = answer.find_last_not_of(" \t");
    answer = first == std::string::npos ? std::string() : answer.substr(first, last - first + 1);
    return true;
}

// Writes `text` to the pager; false when the pager could not be run.
bool Pipe(const std::string& pager, const std::string& text) {
    // A pager that is left before the end of the text closes its end of the pipe: the writes
    // then fail instead of ending this program with SIGPIPE.
    struct sigaction ignore = {};
    struct sigaction previous = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    FILE* pipe = ::popen(pager.c_str(), "w");
    int status = -1;
    if (pipe) {
        std::fwrite(text.data(), 1, text.size(), pipe);
        status = ::pclose(pipe);
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    return status != -1 && !(WIFEXITED(status) && WEXITSTATUS(status) == kCommandNotFound);
}

}  // namespace

std::string Printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7f) {
            c = '?';
        }
    }
    return shown;
}

bool AskYesNo(const std::string& question, bool byDefault, bool& yes) {
    for (;;) {
        std::printf("%s [%s] ", question.c_str(), byDefault ? "Y/n" : "y/N");
        std::string answer;
        if (!ReadAnswer(answer)) {
            return false;
        }
        if (answer.empty()) {
            yes = byDefault;
            return true;
        }
        if (platform::AsciiEqualNoCase(answer, "y") || platform::AsciiEqualNoCase(answer, "yes")) {
            yes = true;
            return true;
        }
        if (platform::AsciiEqualNoCase(answer, "n") || platform::AsciiEqualNoCase(answer, "no")) {
            yes = false;
            return true;
        }
        std::printf("Please answer yes or no.\n");
    }
}

bool AskText(const std::string& question, const std::string& byDefault, std::string& answer) {
    std::printf("%s [%s] ", question.c_str(), byDefault.c_str());
    if (!ReadAnswer(answer)) {
        return false;
    }
    if (answer.empty()) {
        answer = byDefault;
    }
    return true;
}

void ShowPaged(const std::string& text) {
    const std::string shown = Printable(text);
    std::fflush(stdout);
    if (::isatty(STDOUT_FILENO)) {
        const char* pager = std::getenv("PAGER");
        if (Pipe(pager && *pager ? pager : "less", shown)) {
            return;
        }
    }
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    if (!shown.empty() && shown.back() != '\n') {
        std::printf("\n");
    }
    std::fflush(stdout);
}

bool FetchText(const std::string& url, std::string& text, std::string& why) {
    Url file;
    const boost::shared_ptr<IInstallerTempDir> temp = GetInstallerTempDir();
    if (!temp || !temp->MakeUniquePath(file)) {
        why = "no temporary file: " + platform::GetLastErrorText();
        return false;
    }
    const bool fetched =
        platform::DownloadUrlToFile(url, file.GetPath(), kLicenceMaxBytes, nullptr);
    if (!fetched) {
        why = platform::GetLastErrorText();
        return false;
    }
    std::ifstream in(file.GetPath(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const bool read = static_cast<bool>(in);
    text = bytes.str();
    CreateFileOperations()->RemoveAll(file);
    if (!read) {
        why = "the fetched text could not be read";
    }
    return read;
}

}  // namespace vcmtool
