// Unix commands from the Windows side, and the fixture the fault cases share.
#include "fault_support.h"

#include <vector>

namespace {

// Wine starts a Linux program like any other, but its exit code does not come back
// through the process handle: the shell leaves it in a file instead. The file lies in
// this Wine prefix's temp folder: runs in other prefixes get the same process ids.
std::string StatusFileName() {
    static int count = 0;
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return "";
    return std::string(temp) + "decrimp_faults_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++count) + ".status";
}

int WaitForStatus(const std::string& path) {
    const DWORD start = GetTickCount();
    do {
        char text[16] = {};
        DWORD size = 0;
        if (ReadBytes(path.c_str(), text, sizeof text - 1, &size) && size > 0 &&
            text[size - 1] == '\n') {
            DeleteFileA(path.c_str());
            return atoi(text);
        }
    } while (PollAgain(start, ReadyTimeoutMs));
    return -1;
}

std::string Repair(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); i++)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) out += bytes[i];
    return out;
}

}  // namespace

bool RunUnix(const std::string& command) {
    const std::string statusFile = StatusFileName();
    const std::string unixStatusFile = QuotedUnixPath(statusFile);
    if (unixStatusFile.empty()) return false;
    // Wine splits the command line the Windows way: the script is one quoted argument,
    // so its own double quotes are escaped.
    std::string script = "(" + command + ") >/dev/null 2>&1; echo $? >" + unixStatusFile;
    std::string line = "/bin/sh -c \"";
    for (char c : script) line += c == '"' ? std::string("\\\"") : std::string(1, c);
    line += "\"";
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return WaitForStatus(statusFile) == 0;
}

bool RunningAsRoot() {
    static int root = -1;
    if (root < 0) root = RunUnix("test \"$(id -u)\" = 0") ? 1 : 0;
    return root == 1;
}

std::string QuotedUnixPath(const std::string& windowsPath) {
    typedef char*(CDECL * UnixNameFunction)(const WCHAR*);
    const UnixNameFunction unixName = reinterpret_cast<UnixNameFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH * 2];
    if (unixName == nullptr ||
        !MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 2))
        return "";
    char* path = unixName(wide);
    if (path == nullptr) return "";
    std::string quoted = "'" + std::string(path) + "'";
    HeapFree(GetProcessHeap(), 0, path);
    return quoted;
}

const std::string Damaged("A\r\n\r\r\n\r\n\r", 9);
const std::string Repaired("A\n\r\n\n\r", 6);

std::string DamagedOfSize(size_t size, size_t* repairedSize) {
    static const char line[] = "a damaged line of text\r\n";
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) bytes += line[bytes.size() % (sizeof line - 1)];
    *repairedSize = Repair(bytes).size();
    return bytes;
}

const Mode BothModes[2] = {{ControlOverwrite, "overwrite"}, {ControlGenerate, "generate"}};

// Wine keeps its drive letters as links in the prefix's dosdevices folder.
static const char RootDriveLink[] = "\"$WINEPREFIX/dosdevices/r:\"";

void FaultTest::TearDown() {
    StopProgram(&guard.program);
    if (lstrcmpA(folder, "R:") == 0) {
        EXPECT_TRUE(RemoveFiles(folder));
        lstrcpyA(folder, ShortRootFolder);
    }
    if (!mounted.empty()) {
        const std::string point = PathOf(mounted.c_str());
        EXPECT_TRUE(RunUnix("umount " + QuotedUnixPath(point))) << "could not unmount " << point;
        EXPECT_TRUE(RemoveFolder(point.c_str())) << "could not remove " << point;
    }
    ProgramTest::TearDown();
    if (driveMapped) {
        EXPECT_TRUE(RunUnix(std::string("rm ") + RootDriveLink));
    }
}

bool FaultTest::MountSmallDisk(const char* name, const char* size) {
    if (!RunningAsRoot()) return false;
    const std::string point = PathOf(name);
    if (!CreateDirectoryA(point.c_str(), nullptr)) return false;
    mounted = name;
    return RunUnix(std::string("mount -t tmpfs -o size=") + size + " decrimp_faults " +
                   QuotedUnixPath(point));
}

bool FaultTest::MakeMountReadOnly(const char* name) {
    return RunUnix("mount -o remount,ro " + QuotedUnixPath(PathOf(name)));
}

// Wine reads its drive letters again at most once a second, in each process: a program
// that started before the mapping may stamp a file on the drive it had, and later on R:,
// whose volume differs. So the program starts again once the drive is there.
bool FaultTest::MapRootDrive() {
    driveMapped = RunUnix("ln -sfn " + QuotedUnixPath(folder) + " " + RootDriveLink);
    if (!driveMapped || !FileExists(RootDrive)) return false;
    StopProgram(&guard.program);
    if (!StartProgram(&guard.program)) return false;
    main = guard.program.main;
    return true;
}

bool FaultTest::UseShortRootFolder() {
    if (!RunningAsRoot() || !RemoveFolder(folder)) return false;
    lstrcpyA(folder, ShortRootFolder);
    // Made afresh from Linux: an interrupted run may have left names too long for Z:.
    if (!RunUnix("rm -rf /dq && mkdir /dq") || !MapRootDrive()) return false;
    lstrcpyA(folder, "R:");
    return true;
}

bool FaultTest::IsCompletion(const std::string& box) {
    for (const char* caption : {"File is Decrimped!: ", "Files are Decrimped!: ", "File Not Decrimped!: ",
                                "Files Not All Decrimped!: ", "No File Decrimped!: "}) {
        if (box.rfind(caption, 0) == 0) return true;
    }
    return false;
}

std::string FaultTest::FailedEnd(int repaired, int handled, const std::string& lastPath) {
    if (handled == 1) return "File Not Decrimped!: " + lastPath;
    const std::string count = std::to_string(repaired) + " of " + std::to_string(handled) +
                              (repaired == 1 ? " files is decrimped." : " files are decrimped.");
    return (repaired == 0 ? "No File Decrimped!: " : "Files Not All Decrimped!: ") + count;
}

std::string FaultTest::RunAndReadBoxes() const {
    ClickButton(Control(ControlRun));
    std::string boxes;
    for (int shown = 0; shown < 50; shown++) {
        HWND box;
        const std::string text = NextBox(&box);
        boxes += (shown ? "\n" : "") + text;
        if (box == nullptr || !ClickOk(box) || IsCompletion(text)) break;
    }
    return boxes;
}

bool FaultTest::PickIn(const char* sub, std::initializer_list<const char*> names) const {
    std::vector<const char*> list(names);
    const std::string where = sub[0] ? PathOf(sub) : std::string(folder);
    return OpenFiles(main, where.c_str(), list.data(), static_cast<int>(list.size()));
}

std::string FaultTest::LargeBytesOf(const char* name, size_t limit) const {
    std::vector<char> bytes(limit);
    DWORD size = 0;
    if (!ReadBytes(PathOf(name).c_str(), bytes.data(), static_cast<DWORD>(bytes.size()), &size))
        return "<missing>";
    return std::string(bytes.data(), size);
}

std::string FaultTest::ListingOf(const char* sub) const {
    char names[64][MAX_PATH];
    const std::string where = sub[0] ? PathOf(sub) : std::string(folder);
    const int count = ListFolder(where.c_str(), names, 64);
    std::string text;
    for (int i = 0; i < count; i++) text += (i ? " | " : "") + std::string(names[i]);
    return text;
}

void FaultTest::Prepare(const Mode& mode, std::initializer_list<const char*> names) const {
    ASSERT_TRUE(RemoveFiles(folder));
    for (const char* name : names) MakeFile(name, Damaged);
    Click(mode.control);
}

void FaultTest::ExpectAnotherRunWorks() const {
    SCOPED_TRACE("another run afterwards");
    MakeFile("later.mp3", Damaged);
    ASSERT_TRUE(Pick({"later.mp3"})) << "the Open dialog did not take the file";
    Click(ControlOverwrite);
    EXPECT_EQ("File is Decrimped!: " + PathOf("later.mp3"), RunAndReadBoxes());
    EXPECT_EQ(Repaired, BytesOf("later.mp3"));
    EXPECT_TRUE(DeleteFileA(PathOf("later.mp3").c_str()));
}
