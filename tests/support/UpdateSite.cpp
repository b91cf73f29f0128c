#include "support/UpdateSite.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <boost/filesystem.hpp>

#include "support/CodeSigning.h"

namespace testsupport {

namespace {

// A folder every user may write, as /tmp is (for runs as another user).
std::string SharedFolder(const std::string& path) {
    ::mkdir(path.c_str(), 01777);
    ::chmod(path.c_str(), 01777);
    return path;
}

}  // namespace

UpdateSite::UpdateSite(const std::string& vomoReg) : vomoReg_(vomoReg) {
    OpenForOthers(dir_.Path());
    registry_ = dir_.File("registry");
    ::mkdir(registry_.c_str(), 0755);
    logs_ = SharedFolder(dir_.File("logs"));
    temp_ = SharedFolder(dir_.File("tmp"));
    ::mkdir(dir_.File("apps").c_str(), 0755);
    ::mkdir(dir_.File("work").c_str(), 0700);
    roots_ = dir_.File("roots.pem");
    std::string roots;
    ReadFile(CodeSigning::Instance().TrustedRoots(), roots);
    WriteFile(roots_, roots);
    ::chmod(roots_.c_str(), 0644);
}

void UpdateSite::Publish(const std::string& manifestVersion,
                         const std::vector<SiteComponent>& components,
                         const std::function<void(HttpReply&)>& tweak) {
    const CodeSigning& signing = CodeSigning::Instance();
    const std::string work = dir_.File("work");
    std::string manifest = "<manifest version='" + manifestVersion + "'><componentDefinitions>";
    for (const SiteComponent& component : components) {
        const std::string name = component.id + "-" + component.version;
        const std::string plain = work + "/" + name + ".plain.cab";
        const std::string cabinet = work + "/" + name + ".cab";
        std::remove(cabinet.c_str());
        std::string script = component.installer;
        if (component.padding > script.size()) {
            script += std::string(component.padding - script.size(), '#');
        }
        EXPECT_TRUE(MakeCabinet(plain, {{"setup", script}}, false, work));
        EXPECT_TRUE(signing.Sign(Signer::kVomoLlc, plain, cabinet)) << cabinet;
        std::string bytes;
        EXPECT_TRUE(ReadFile(cabinet, bytes));
        packages_.emplace_back(name, bytes);
        HttpReply reply = HttpReply::Body(bytes);
        if (tweak) {
            tweak(reply);
        }
        server_.Route("/" + name + ".cab", reply);
        manifest += "<component id='" + component.id + "'><latestVersion>" + component.version +
                    "</latestVersion><displayVersion>" + component.version +
                    "</displayVersion><package><type>nsis</type><url>" +
                    server_.Url("/" + name + ".cab") + "</url></package></component>";
    }
    manifest += "</componentDefinitions></manifest>";
    const std::string plain = work + "/manifest-" + manifestVersion + ".plain.cab";
    const std::string cabinet = work + "/manifest-" + manifestVersion + ".cab";
    std::remove(cabinet.c_str());
    EXPECT_TRUE(MakeCabinet(plain, {{"manifest.xml", manifest}}, true, work));
    EXPECT_TRUE(signing.Sign(Signer::kVomoLlc, plain, cabinet));
    std::string bytes;
    EXPECT_TRUE(ReadFile(cabinet, bytes));
    server_.Route("/vomo/setup/manifest.cab", HttpReply::Body(bytes));
}

const std::string& UpdateSite::Package(const std::string& id, const std::string& version) const {
    for (const auto& package : packages_) {
        if (package.first == id + "-" + version) {
            return package.second;
        }
    }
    static const std::string none;
    return none;
}

std::string UpdateSite::Installer(const std::string& id, const std::string& version,
                                  const std::string& before) const {
    const std::string folder = dir_.File("apps/" + id);
    const std::string key = "'HKLM\\SOFTWARE\\Vomo\\Install\\" + id + "'";
    const std::string reg = vomoReg_ + " add " + key;
    return "#!/bin/sh\n"
           "echo $$ > " +
           dir_.File(id + ".pid") + "\n" + before + "\nmkdir -p " + folder + "\n" + reg +
           " /v InstallDir /d " + folder + " /f >/dev/null\nprintf '#!/bin/sh\\nexit 0\\n' > " +
           folder + "/uninstall\nchmod 755 " + folder + "/uninstall\n" + reg +
           " /v UninstallPath /d " + folder + "/uninstall /f >/dev/null\necho " + version + " > " +
           folder + "/" + id + ".version\nexit 0\n";
}

std::vector<std::string> UpdateSite::EnvironmentList(const std::string& registry) const {
    return {"VOMO_REGISTRY_ROOT=" + (registry.empty() ? registry_ : registry),
            "VOMO_LOG_DIR=" + logs_,
            "TMPDIR=" + temp_,
            "VOMO_TRUST_ROOTS=" + roots_,
            "VOMO_MANIFEST_URL=" + server_.Url("/vomo/setup/manifest.cab"),
            "VOMO_INSTALLER_URL=http://127.0.0.1:1",
            "PATH=/usr/bin:/bin",
            "HOME=" + dir_.Path()};
}

std::string UpdateSite::Environment(const std::string& registry) const {
    std::string text;
    for (const std::string& entry : EnvironmentList(registry)) {
        text += entry + " ";
    }
    return text;
}

std::string UpdateSite::Log() const {
    std::string text;
    ReadFile(LogFile(), text);
    return text;
}

std::vector<std::string> UpdateSite::LeftInTemp() const {
    std::vector<std::string> left;
    boost::system::error_code error;
    for (boost::filesystem::recursive_directory_iterator it(temp_, error), end; !error && it != end;
         it.increment(error)) {
        left.push_back(it->path().string());
    }
    return left;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment, const std::string& output,
                   int uid) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    // The child: a fresh signal state, the output file, the user.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    if (uid != -1 && (::setgroups(0, nullptr) != 0 || ::setgid(static_cast<gid_t>(uid)) != 0 ||
                      ::setuid(static_cast<uid_t>(uid)) != 0)) {
        ::_exit(100);
    }
    std::vector<char*> args, env;
    for (std::string& a : argv) {
        args.push_back(&a[0]);
    }
    args.push_back(nullptr);
    std::vector<std::string> copy = environment;
    for (std::string& e : copy) {
        env.push_back(&e[0]);
    }
    env.push_back(nullptr);
    ::execve(program.c_str(), args.data(), env.data());
    ::_exit(127);
}

int WaitForProgram(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace testsupport
