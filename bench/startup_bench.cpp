// The whole program's start-up against a bare QWebEngineView showing the same article page.
//
// Starts the stand-in program, then, in interleaved rounds: the built program on an empty home
// (cold), the same program on that home again (warm) and the bare view program showing the first
// article's page as the program built it. Each is started the way scripts/run.sh starts the
// program (the stand-in as its proxy, its certificate authority trusted, a home of its own) under
// Xvfb when it is installed, else the offscreen platform. The program says when the first list
// is painted and when an article page has loaded, one diagnostic line each; the lines are
// timestamped here as they arrive. The process tree's CPU is read when the article page has
// loaded, its PSS 2 s later. A last warm run then stays untouched for 10 s (idle CPU) and, under
// Xvfb, has articles opened by clicks on its list rows (PSS after them).
//
//   startup_bench [--rounds N] [--articles N]   (other arguments, as the test command's, ignored)
#include "article/ArticleDocument.h"
#include "article/ArticlePageBuilder.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- the process tree ----

// The whole of a small file, "" when it cannot be read (a process of the tree may end meanwhile).
std::string readSmallFile(const std::string& path)
{
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    close(fd);
    return text;
}

std::map<pid_t, pid_t> parentsOfAll()
{
    std::map<pid_t, pid_t> parents;
    QDirIterator proc(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (proc.hasNext()) {
        proc.next();
        bool number = false;
        const pid_t pid = proc.fileName().toInt(&number);
        if (!number)
            continue;
        const std::string text = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        parents[pid] = parent;
    }
    return parents;
}

std::vector<pid_t> processTree(pid_t root)
{
    const std::map<pid_t, pid_t> parents = parentsOfAll();
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i) {
        for (const auto& [pid, parent] : parents) {
            if (parent == tree[i])
                tree.push_back(pid);
        }
    }
    return tree;
}

// CPU seconds of the tree: user and system time of every process in it, with that of the
// children it has already reaped.
double treeCpuSeconds(pid_t root)
{
    static const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    for (pid_t pid : processTree(root)) {
        const std::string text = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 2));
        std::vector<std::string> fields;
        std::string field;
        while (rest >> field)
            fields.push_back(field);
        // Fields from the state on: utime, stime, cutime, cstime are the 12th to 15th.
        if (fields.size() < 15)
            continue;
        for (int i = 11; i <= 14; ++i)
            total += std::strtod(fields[static_cast<size_t>(i)].c_str(), nullptr) / ticks;
    }
    return total;
}

// Nanoseconds the tree's threads have run, finer than the clock ticks: for short idle spans.
double treeRunSeconds(pid_t root)
{
    double total = 0;
    for (pid_t pid : processTree(root)) {
        QDirIterator tasks(QStringLiteral("/proc/%1/task").arg(pid), QDir::Dirs | QDir::NoDotAndDotDot);
        while (tasks.hasNext()) {
            tasks.next();
            const std::string schedstat = readSmallFile((tasks.filePath() + QStringLiteral("/schedstat")).toStdString());
            total += std::strtod(schedstat.c_str(), nullptr) / 1e9;
        }
    }
    return total;
}

double treePssMiB(pid_t root)
{
    double kib = 0;
    for (pid_t pid : processTree(root)) {
        const std::string rollup = readSmallFile("/proc/" + std::to_string(pid) + "/smaps_rollup");
        const size_t at = rollup.find("\nPss:");
        if (at != std::string::npos)
            kib += std::strtod(rollup.c_str() + at + 5, nullptr);
    }
    return kib / 1024.0;
}

// ---- a started program whose stderr and stdout lines are read as they come ----

class Child
{
public:
    // quiet: the program's output goes nowhere (a server whose log nobody reads must not fill a pipe).
    Child(const std::string& program, const std::vector<std::string>& arguments,
          const std::map<std::string, std::string>& environment, bool quiet = false)
    {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text(*entry);
            if (environment.count(text.substr(0, text.find('='))) == 0)
                env.push_back(text);
        }
        for (const auto& [key, value] : environment)
            env.push_back(key + "=" + value);
        std::vector<char*> envp;
        for (std::string& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> args{program};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        m_start = Clock::now();
        m_pid = fork();
        if (m_pid == 0) {
            // A process group of its own: the web engine's helpers end with it.
            setpgid(0, 0);
            const int out = quiet ? open("/dev/null", O_WRONLY) : pipeFds[1];
            dup2(out, 1);
            dup2(out, 2);
            close(pipeFds[0]);
            close(pipeFds[1]);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(pipeFds[1]);
        m_fd = pipeFds[0];
        fcntl(m_fd, F_SETFL, O_NONBLOCK);
    }

    ~Child() { stop(); }

    pid_t pid() const { return m_pid; }
    Clock::time_point start() const { return m_start; }
    const std::string& log() const { return m_log; }

    // Reads lines until onLine returns true or the time is up; false then, or when the program ended.
    bool readUntil(double seconds, const std::function<bool(const std::string&, double)>& onLine)
    {
        const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < deadline) {
            size_t end;
            while ((end = m_pending.find('\n')) != std::string::npos) {
                const std::string line = m_pending.substr(0, end);
                const double at = m_pendingAt;
                m_pending.erase(0, end + 1);
                if (onLine(line, at))
                    return true;
            }
            if (m_fd < 0)
                return false;
            pollfd watched{m_fd, POLLIN, 0};
            const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (poll(&watched, 1, std::max(0, std::min(left, 100))) <= 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(m_fd, buffer, sizeof buffer);
            if (got <= 0) {
                if (got == 0 || errno != EAGAIN) {
                    close(m_fd);
                    m_fd = -1;
                }
                continue;
            }
            m_pendingAt = secondsSince(m_start);
            m_pending.append(buffer, static_cast<size_t>(got));
            m_log.append(buffer, static_cast<size_t>(got));
        }
        return false;
    }

    // Lets the time pass while the pipe is kept drained.
    void idle(double seconds)
    {
        readUntil(seconds, [](const std::string&, double) { return false; });
    }

    void stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        int status = 0;
        bool ended = false;
        for (int i = 0; i < 100 && !ended; ++i) {
            ended = waitpid(m_pid, &status, WNOHANG) == m_pid;
            if (!ended)
                idle(0.1);
        }
        if (!ended) {
            kill(-m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        // Helpers left behind by the program's group.
        kill(-m_pid, SIGKILL);
        m_pid = -1;
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    Clock::time_point m_start;
    std::string m_pending;
    double m_pendingAt = 0;
    std::string m_log;
};

// ---- Xvfb and clicks through the X test extension (loaded when present) ----

struct XTest
{
    using Display = void;
    Display* (*openDisplay)(const char*) = nullptr;
    int (*flush)(Display*) = nullptr;
    int (*closeDisplay)(Display*) = nullptr;
    int (*motion)(Display*, int, int, int, unsigned long) = nullptr;
    int (*button)(Display*, unsigned, int, unsigned long) = nullptr;
    Display* display = nullptr;

    bool open(const std::string& name)
    {
        void* x11 = dlopen("libX11.so.6", RTLD_NOW);
        void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (x11 == nullptr || xtst == nullptr)
            return false;
        openDisplay = reinterpret_cast<Display* (*)(const char*)>(dlsym(x11, "XOpenDisplay"));
        flush = reinterpret_cast<int (*)(Display*)>(dlsym(x11, "XFlush"));
        closeDisplay = reinterpret_cast<int (*)(Display*)>(dlsym(x11, "XCloseDisplay"));
        motion = reinterpret_cast<int (*)(Display*, int, int, int, unsigned long)>(dlsym(xtst, "XTestFakeMotionEvent"));
        button = reinterpret_cast<int (*)(Display*, unsigned, int, unsigned long)>(dlsym(xtst, "XTestFakeButtonEvent"));
        if (!openDisplay || !flush || !closeDisplay || !motion || !button)
            return false;
        display = openDisplay(name.c_str());
        return display != nullptr;
    }
    ~XTest()
    {
        if (display != nullptr)
            closeDisplay(display);
    }
    void click(int x, int y)
    {
        motion(display, -1, x, y, 0);
        button(display, 1, 1, 0);
        button(display, 1, 0, 20);
        flush(display);
    }
};

bool onPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

// Xvfb on a free display number that it picks itself, 1600x1000 as the desktop the figures were
// first taken on. Nothing (the offscreen platform is used) when Xvfb is not installed.
std::unique_ptr<Child> startXvfb(std::string* display)
{
    if (!onPath("Xvfb"))
        return nullptr;
    int fds[2];
    if (pipe(fds) != 0)
        return nullptr;
    // Xvfb writes its display number to the descriptor it is given.
    auto server = std::make_unique<Child>("/bin/sh",
                                          std::vector<std::string>{"-c", "exec Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>&" +
                                                                             std::to_string(fds[1])},
                                          std::map<std::string, std::string>{}, true);
    close(fds[1]);
    std::string number;
    pollfd watched{fds[0], POLLIN, 0};
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
        if (poll(&watched, 1, 100) <= 0)
            continue;
        char buffer[32];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        number.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos)
        return nullptr;
    *display = ":" + number.substr(0, number.find('\n'));
    return server;
}

// ---- the stand-in ----

struct Standin
{
    std::unique_ptr<Child> process;
    std::string proxy, ca, spki;
};

std::string valueOf(const std::string& text, const std::string& key)
{
    const size_t at = text.find(key + "=");
    if (at == std::string::npos)
        return {};
    const size_t from = at + key.size() + 1;
    return text.substr(from, text.find('\n', from) - from);
}

std::optional<Standin> startStandin(const std::string& work)
{
#ifdef TIDWEN_STANDIN_PROGRAM
    const std::string ready = work + "/ready";
    Standin standin;
    standin.process = std::make_unique<Child>(
        TIDWEN_STANDIN_PROGRAM,
        std::vector<std::string>{"--ready-file", ready, "--ca-dir", work + "/ca", "--seed", "7", "--now", "2026-12-07T08:00:00Z"},
        std::map<std::string, std::string>{}, true);
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    std::string text;
    while (Clock::now() < deadline && (text = readSmallFile(ready)).find("spki=") == std::string::npos)
        standin.process->idle(0.1);
    if (text.find("spki=") == std::string::npos)
        return std::nullopt;
    standin.proxy = "http://127.0.0.1:" + valueOf(text, "port");
    standin.ca = valueOf(text, "ca");
    standin.spki = valueOf(text, "spki");
    return standin;
#else
    (void)work;
    return std::nullopt;
#endif
}

// ---- one run ----

struct Session
{
    const Standin* standin = nullptr;
    std::string display;  // empty: offscreen
    std::string work;
};

std::map<std::string, std::string> environmentFor(const Session& session, const std::string& home)
{
    std::map<std::string, std::string> env{
        {"HOME", home},
        {"XDG_DATA_HOME", home + "/.local/share"},
        {"XDG_CONFIG_HOME", home + "/.config"},
        {"XDG_CACHE_HOME", home + "/.cache"},
        {"XDG_RUNTIME_DIR", session.work + "/runtime"},
        {"QTWEBENGINE_DISABLE_SANDBOX", "1"},
        {"http_proxy", session.standin->proxy},
        {"https_proxy", session.standin->proxy},
        {"HTTP_PROXY", session.standin->proxy},
        {"HTTPS_PROXY", session.standin->proxy},
        {"no_proxy", "127.0.0.1,localhost"},
        {"NO_PROXY", "127.0.0.1,localhost"},
        {"SSL_CERT_DIR", session.standin->ca},
        {"QTWEBENGINE_CHROMIUM_FLAGS",
         "--proxy-server=" + session.standin->proxy + " --ignore-certificate-errors-spki-list=" + session.standin->spki},
    };
    if (session.display.empty()) {
        env["QT_QPA_PLATFORM"] = "offscreen";
    } else {
        env["QT_QPA_PLATFORM"] = "xcb";
        env["DISPLAY"] = session.display;
    }
    return env;
}

struct Figures
{
    double list = -1;     // exec -> first list painted
    double page = -1;     // exec -> article page loaded
    double cpu = -1;      // tree CPU at that moment
    double pss = -1;      // tree PSS 2 s later
    bool software = false;  // the program's web views drew in software
};

constexpr const char* kListLine = "tidwen: first list painted";
constexpr const char* kArticleLine = "tidwen: article page loaded";
constexpr const char* kBareLine = "bare view: page loaded";
constexpr const char* kSoftwareLine = "tidwen: web views draw in software";

bool contains(const std::string& line, const char* what)
{
    return line.find(what) != std::string::npos;
}

// Starts the program (or the bare view) and takes its figures; the child is handed back running
// when keep is given, for the idle and many-articles measurements.
Figures measure(const Session& session, const std::string& program, const std::vector<std::string>& arguments,
                const std::string& home, bool bare, std::unique_ptr<Child>* keep = nullptr)
{
    QDir().mkpath(QString::fromStdString(home));
    auto child = std::make_unique<Child>(program, arguments, environmentFor(session, home));
    Figures figures;
    child->readUntil(40, [&](const std::string& line, double at) {
        if (!bare && figures.list < 0 && contains(line, kListLine))
            figures.list = at;
        if (!bare && contains(line, kSoftwareLine))
            figures.software = true;
        if (contains(line, bare ? kBareLine : kArticleLine)) {
            figures.page = at;
            figures.cpu = treeCpuSeconds(child->pid());
            return true;
        }
        return false;
    });
    if (figures.page < 0) {
        std::printf("  (no \"%s\" within 40 s; the last of its log:)\n%s\n", bare ? kBareLine : kArticleLine,
                    child->log().substr(child->log().size() > 3000 ? child->log().size() - 3000 : 0).c_str());
        return figures;
    }
    child->idle(2.0);
    figures.pss = treePssMiB(child->pid());
    if (keep != nullptr)
        *keep = std::move(child);
    return figures;
}

// The first article the program cached in a home, built into its page as the program builds it,
// written with the page's bundle files into a folder; the page file's path, or "" when none.
std::string writeFirstArticlePage(const std::string& home, const std::string& folder)
{
    QString first;
    QDateTime firstTime;
    QDirIterator files(QString::fromStdString(home), {QStringLiteral("*_1.xml")}, QDir::Files | QDir::Hidden,
                      QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QDateTime time = QFileInfo(path).lastModified();
        if (first.isEmpty() || time < firstTime) {
            first = path;
            firstTime = time;
        }
    }
    QFile xml(first);
    if (first.isEmpty() || !xml.open(QIODevice::ReadOnly))
        return {};
    const FeedPtr feed = ArticleDocument::parseXML(xml.readAll());
    ArticlePageInput input;
    input.html = feed->detail;
    input.author = feed->author.isNull() ? QStringLiteral("Tidwen") : feed->author;
    input.postDate = feed->postDate;
    input.newsSource = feed->newsSource.isNull() ? QStringLiteral("Tidwen") : feed->newsSource;
    input.newsID = feed->guid;
    input.YuanChuang = feed->isYuanChuang;
    input.newsAuthor = feed->author;
    input.newsZeBian = feed->newsZeBian;
    input.title = feed->title;
    input.fontSize = QStringLiteral("18");
    QString page = ArticlePageBuilder::complateHtmlCode(input).page;

    const QDir out(QString::fromStdString(folder));
    QDirIterator bundle(QStringLiteral(":/article"), QDir::Files, QDirIterator::Subdirectories);
    while (bundle.hasNext()) {
        const QString path = bundle.next();
        const QString relative = path.mid(QStringLiteral(":/article/").size());
        QDir().mkpath(QFileInfo(out.filePath(relative)).path());
        QFile::copy(path, out.filePath(relative));
    }
    page.replace(QLatin1String(ArticleBundle::kBaseUrl), QUrl::fromLocalFile(out.path() + QLatin1Char('/')).toString());
    QFile file(out.filePath(QStringLiteral("page.html")));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(page.toUtf8());
    return file.fileName().toStdString();
}

double median(std::vector<double> values)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v < 0; }), values.end());
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

const char* verdict(bool met)
{
    return met ? "met" : "NOT MET";
}

// Idle CPU of the tree over the given seconds, in ms per second: all of it, and outside the slide
// strip's turns (every 6 s). A turn is one repaint, and the web view's compositor answering the
// window's new frame, within a few tens of milliseconds; read in tenths of a second, it can still
// straddle two of them. So the busiest 0.3 s of each 6 s are left out.
void measureIdle(Child& child, double seconds)
{
    constexpr double kSlice = 0.1;
    constexpr size_t kTurnSlices = 3;
    constexpr size_t kPeriodSlices = 60;
    const pid_t pid = child.pid();
    std::vector<double> slices;  // run seconds per slice
    double last = treeRunSeconds(pid);
    const auto count = static_cast<size_t>(seconds / kSlice);
    for (size_t i = 0; i < count; ++i) {
        child.idle(kSlice);
        const double now = treeRunSeconds(pid);
        slices.push_back(now - last);
        last = now;
    }
    double total = 0;
    for (double s : slices)
        total += s;
    double outside = total;
    size_t left = 0;
    for (size_t from = 0; from + kTurnSlices <= slices.size(); from += kPeriodSlices) {
        const size_t end = std::min(slices.size(), from + kPeriodSlices);
        double busiest = 0;
        for (size_t at = from; at + kTurnSlices <= end; ++at) {
            double window = 0;
            for (size_t k = 0; k < kTurnSlices; ++k)
                window += slices[at + k];
            busiest = std::max(busiest, window);
        }
        outside -= busiest;
        left += kTurnSlices;
    }
    const double span = static_cast<double>(slices.size()) * kSlice;
    const double all = total / span * 1e3;
    const double quiet = outside / (span - kSlice * static_cast<double>(left)) * 1e3;
    std::printf("idle CPU over %.0f s without input: %.2f ms/s in all; %.2f ms/s outside slide turns (goal <= 2 ms/s: %s)\n",
                span, all, quiet, verdict(quiet <= 2.0));
}

// Opens articles by clicks on the list rows, cycling through rows below the slide strip, until
// count pages more have loaded; the number loaded.
int openArticlesByClicks(Child& child, const std::string& display, int count)
{
    XTest x;
    if (!x.open(display))
        return -1;
    // The list column starts right of the 70-point bar and is 300 wide; rows lie under the strip.
    const int columnX = 70 + 150;
    const std::vector<int> rowsY = {330, 420, 510, 600, 690, 780, 870};
    int loaded = 0;
    int misses = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(240);
    for (size_t i = 0; loaded < count && misses < 20 && Clock::now() < deadline; ++i) {
        x.click(columnX, rowsY[i % rowsY.size()]);
        const bool got = child.readUntil(5, [](const std::string& line, double) { return contains(line, kArticleLine); });
        if (got)
            ++loaded;
        else
            ++misses;
    }
    return loaded;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 3;
    int articles = 200;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--articles") == 0)
            articles = std::max(0, std::atoi(argv[i + 1]));
    }
#ifndef TIDWEN_PROGRAM
    std::printf("startup_bench: the program was not built (TIDWEN_APP off); nothing measured\n");
    return 0;
#else
    std::signal(SIGPIPE, SIG_IGN);
    QTemporaryDir workDir;
    const std::string work = workDir.path().toStdString();
    QDir().mkpath(workDir.filePath(QStringLiteral("runtime")));
    chmod((work + "/runtime").c_str(), 0700);

    const std::optional<Standin> standin = startStandin(work);
    if (!standin) {
        std::printf("startup_bench: the stand-in did not start; nothing measured\n");
        return 1;
    }
    Session session;
    session.standin = &*standin;
    session.work = work;
    const std::unique_ptr<Child> xvfb = startXvfb(&session.display);
    std::printf("startup_bench: %d rounds under %s, the stand-in at %s\n", rounds,
                session.display.empty() ? "the offscreen platform" : ("Xvfb " + session.display + " 1600x1000").c_str(),
                standin->proxy.c_str());
    std::fflush(stdout);

    std::vector<Figures> cold, warm, bare, bareSoftware;
    std::string page;
    for (int round = 0; round < rounds; ++round) {
        const std::string home = work + "/home" + std::to_string(round);
        cold.push_back(measure(session, TIDWEN_PROGRAM, {}, home, false));
        warm.push_back(measure(session, TIDWEN_PROGRAM, {}, home, false));
        if (page.empty())
            page = writeFirstArticlePage(home, work + "/page");
        if (page.empty()) {
            std::printf("startup_bench: no article was cached by the program; no bare view to compare with\n");
            return 1;
        }
        bare.push_back(measure(session, TIDWEN_BARE_VIEW_PROGRAM, {page}, work + "/bare" + std::to_string(round), true));
        // Where the program draws its web views in software, the bare view is timed that way too,
        // so that the program's own share of the time shows beside the plain figures.
        if (cold.back().software)
            bareSoftware.push_back(measure(session, TIDWEN_BARE_VIEW_PROGRAM, {page, "--software"},
                                           work + "/bare-software" + std::to_string(round), true));
        std::printf("round %d: cold list %.3f page %.3f | warm list %.3f page %.3f | bare page %.3f", round + 1,
                    cold.back().list, cold.back().page, warm.back().list, warm.back().page, bare.back().page);
        if (cold.back().software)
            std::printf(", in software %.3f", bareSoftware.back().page);
        std::printf(" (s)\n");
        std::fflush(stdout);
    }

    auto pick = [](const std::vector<Figures>& runs, double Figures::*field) {
        std::vector<double> values;
        for (const Figures& f : runs)
            values.push_back(f.*field);
        return median(values);
    };
    const double barePage = pick(bare, &Figures::page);
    const double bareCpu = pick(bare, &Figures::cpu);
    const double barePss = pick(bare, &Figures::pss);
    std::printf("\nmedians of %d rounds            program cold   program warm   bare view\n", rounds);
    std::printf("exec -> first list painted (s)  %10.3f     %10.3f            -\n", pick(cold, &Figures::list), pick(warm, &Figures::list));
    std::printf("exec -> article page (s)        %10.3f     %10.3f   %10.3f\n", pick(cold, &Figures::page), pick(warm, &Figures::page), barePage);
    std::printf("tree CPU until then (s)         %10.3f     %10.3f   %10.3f\n", pick(cold, &Figures::cpu), pick(warm, &Figures::cpu), bareCpu);
    std::printf("tree PSS 2 s later (MiB)        %10.1f     %10.1f   %10.1f\n", pick(cold, &Figures::pss), pick(warm, &Figures::pss), barePss);
    const double warmList = pick(warm, &Figures::list);
    const double coldList = pick(cold, &Figures::list);
    std::printf("warm exec -> list %.3f s (goal <= 0.35 s: %s); cold %.3f s (goal <= 0.5 s: %s)\n", warmList,
                verdict(warmList >= 0 && warmList <= 0.35), coldList, verdict(coldList >= 0 && coldList <= 0.5));
    for (const auto& [name, runs] : {std::pair<const char*, const std::vector<Figures>*>{"cold", &cold}, {"warm", &warm}}) {
        const double pageRatio = pick(*runs, &Figures::page) / barePage;
        const double cpuRatio = pick(*runs, &Figures::cpu) / bareCpu;
        const double pssRatio = pick(*runs, &Figures::pss) / barePss;
        std::printf("%s: exec -> article %.2fx the bare view's (goal <= 1.2x: %s); CPU %.2fx (goal <= 1.5x: %s); "
                    "PSS %.2fx (goal <= 1.1x: %s)\n",
                    name, pageRatio, verdict(pageRatio <= 1.2), cpuRatio, verdict(cpuRatio <= 1.5), pssRatio,
                    verdict(pssRatio <= 1.1));
    }
    if (!bareSoftware.empty()) {
        const double page = pick(bareSoftware, &Figures::page);
        const double cpu = pick(bareSoftware, &Figures::cpu);
        const double pss = pick(bareSoftware, &Figures::pss);
        std::printf("the program drew its web views in software (OpenGL here is a software rasterizer); the bare view "
                    "drawing in software too: page %.3f s, CPU %.3f s, PSS %.1f MiB; the program cold / warm: "
                    "page %.2fx / %.2fx, CPU %.2fx / %.2fx, PSS %.2fx / %.2fx of it (the goals above are against the "
                    "plain bare view)\n",
                    page, cpu, pss, pick(cold, &Figures::page) / page, pick(warm, &Figures::page) / page,
                    pick(cold, &Figures::cpu) / cpu, pick(warm, &Figures::cpu) / cpu, pick(cold, &Figures::pss) / pss,
                    pick(warm, &Figures::pss) / pss);
    }
    std::fflush(stdout);

    // The last run: warm, left alone, then driven.
    std::unique_ptr<Child> program;
    const Figures last = measure(session, TIDWEN_PROGRAM, {}, work + "/home0", false, &program);
    if (!program) {
        std::printf("startup_bench: the last run did not load its article\n");
        return 1;
    }
    measureIdle(*program, 10.0);
    std::fflush(stdout);
    if (session.display.empty() || articles == 0) {
        std::printf("PSS after %d more articles: not measured (needs Xvfb to click the list rows)\n", articles);
    } else {
        const int opened = openArticlesByClicks(*program, session.display, articles);
        program->idle(2.0);
        const double pss = treePssMiB(program->pid());
        if (opened < 0) {
            std::printf("PSS after more articles: not measured (the X test extension could not be loaded)\n");
        } else {
            std::printf("PSS after %d more articles (opened by clicks on list rows): %.1f MiB, %.2fx its own %.1f MiB "
                        "after the first (goal <= 1.2x: %s), %.2fx the bare view's\n",
                        opened, pss, pss / last.pss, last.pss, verdict(opened >= articles && pss / last.pss <= 1.2),
                        pss / barePss);
        }
    }
    program->stop();
    std::fflush(stdout);
    return 0;
#endif
}
