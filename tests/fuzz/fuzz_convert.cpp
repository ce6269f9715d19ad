// Arbitrary bytes through the block loop, cut at arbitrary places, on every path the
// CPU has, into a second buffer and in place; and through ConvertFile on the in-memory
// files with calls failing where the input says. Compared with the one-byte-at-a-time
// conversion; after a failure the picked file must be whole, as it was or repaired.
// A file with an LF that has no CR before it is never repaired, and nothing is left.
// The replace runs in one step or, as on Windows 95/98/Me, in steps, with or without a
// set-aside original that a power cut left, which stays as it is.
// Where the file's format (known by its first bytes) decides otherwise than the plain
// repair, the format walkers' own fuzzer checks their verdict; here the run must still
// keep the picked file whole and leave only the picked file's bytes or a repair that
// keeps some pairs' CRs.
// Input: [piece - 1] [mode, path, copy already there, steps, set-aside file] [failure
// schedule, 2 bytes] [file bytes...]
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "convert.h"
#include "damage_kind.h"
#include "fake_files.h"
#include "recorded_ui.h"
#include "replace_steps.h"
#include "state.h"

typedef std::vector<unsigned char> Bytes;

static const char Folder[] = "F:\\fuzz\\";
static const std::string Picked = std::string(Folder) + "f.bin";
static const std::string Copy = std::string(Folder) + "Copy of f.bin";
static const std::string Aside = std::string(Folder) + SetAsideStem + ".tmp";
// Where the run's own set-aside file goes when an earlier one holds the first name.
static const std::string NextAside = std::string(Folder) + SetAsideStem + " (2).tmp";

// The one-byte-at-a-time repair; *lone tells whether an LF had no CR before it.
static Bytes Reference(const uint8_t* data, size_t size, bool* lone) {
    Bytes out;
    int previous = 0x61;
    *lone = false;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0x0A && previous != 0x0D) *lone = true;
        if (data[i] == 0x0A && previous == 0x0D) out.pop_back();
        previous = data[i];
        out.push_back(data[i]);
    }
    return out;
}

// Each piece is repaired where it lies (the byte before it free for a held CR), as
// CopyRestoring does, or into a buffer of its own.
static Bytes ConvertInPieces(const uint8_t* data, size_t size, size_t piece, bool inPlace, bool* lone) {
    Bytes output, block(piece + 1), out(piece + 1);
    RestoreState state = {};
    for (size_t done = 0; done < size; done += piece) {
        const size_t n = size - done < piece ? size - done : piece;
        std::memcpy(block.data() + 1, data + done, n);
        Bytes& into = inPlace ? block : out;
        const size_t put = RestoreLineEnds(block.data() + 1, n, into.data(), &state);
        output.insert(output.end(), into.begin(), into.begin() + static_cast<long>(put));
    }
    if (state.crHeld) output.push_back('\r');
    *lone = state.loneLineFeed;
    return output;
}

static void CheckEveryPath(const uint8_t* data, size_t size, size_t piece, const Bytes& expected, bool lone) {
    const RestoreWidth widest = WidestRestoreWidth();
    for (int width = RestoreBytes; width <= widest; ++width) {
        LimitRestoreWidth(static_cast<RestoreWidth>(width));
        for (bool inPlace : {false, true}) {
            bool found = false;
            if (ConvertInPieces(data, size, piece, inPlace, &found) != expected || found != lone) __builtin_trap();
        }
    }
}

// What the file's own format makes of it, asked the way the repair's pass asks it.
static DamageEvidence Evidence;
static KeptPairs Kept;
static bool PlainRepairStands(const Bytes& input, const Bytes& repaired) {
    Bytes copy = input;  // fmemopen needs a buffer it may hold
    FILE* file = copy.empty() ? nullptr : fmemopen(copy.data(), copy.size(), "rb");
    if (!file) return true;
    StartEvidence(&Evidence);
    NotePickedBlock(&Evidence, input.data(), input.size());
    NoteRepairedBlock(&Evidence, repaired.data(), repaired.size());
    RestoreState state = {};
    Bytes scratch(input.size() + 1);
    (void)RestoreLineEnds(input.data(), input.size(), scratch.data(), &state);
    FinishEvidence(&Evidence, state);
    const PickedBytes picked = {file, input.size()};
    const RepairVerdict verdict = DecideRepair(&Evidence, &picked, &Kept);
    std::fclose(file);
    return verdict == RepairPlain;
}

// True when bytes is input with the CRs of some of its CR LF pairs left out.
static bool KeepsSomePairs(const Bytes& input, const Bytes& bytes) {
    size_t at = 0;
    for (size_t i = 0; i < input.size(); ++i) {
        const bool pairCr = input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n';
        if (at < bytes.size() && bytes[at] == input[i]) {
            ++at;
        } else if (!pairCr) {
            return false;
        }
    }
    return at == bytes.size();
}

static bool FileIs(const std::string& path, const Bytes& bytes) {
    std::string content;
    return GetFakeFile(path, &content) && Bytes(content.begin(), content.end()) == bytes;
}

// A "Copy of " file already there: none, an earlier run's repair, or someone's own.
enum ExistingCopy { NoCopy, RepairThere, OtherThere };

// How the picked file is replaced: in one step, or in steps with the first set-aside
// name free or taken by an earlier run's leftover.
enum Replace { OneStep, InSteps, InStepsAsideTaken };

// The boxes that name the set-aside file.
static size_t KeptAsideBoxes() {
    size_t count = 0;
    for (const RecordedEvent& event : RecordedEvents()) count += event.caption == "Original Kept Aside!";
    return count;
}

static void ConvertThroughFiles(const Bytes& original, const Bytes& expected, bool lone, bool generate,
                                ExistingCopy existing, Replace replace, uint64_t failures) {
    ResetFakeFiles(nullptr);
    PutFakeFile(Picked, std::string(original.begin(), original.end()));
    const std::string leftover = "a power cut's leftover";
    if (replace == InStepsAsideTaken) PutFakeFile(Aside, leftover);
    if (replace != OneStep)
        AnswerWithoutOneStepReplace(std::string(original.begin(), original.end()),
                                    std::string(expected.begin(), expected.end()));
    const Bytes other = {'m', 'i', 'n', 'e'};
    if (existing == OtherThere && other == expected) existing = RepairThere;
    const Bytes copyBefore = existing == RepairThere ? expected : other;
    if (existing != NoCopy) PutFakeFile(Copy, std::string(copyBefore.begin(), copyBefore.end()));
    FailFakeCalls(failures);
    std::memcpy(WorkPath, Folder, sizeof Folder);
    NameOffset = static_cast<unsigned short>(sizeof Folder - 1);
    GenerateNewFiles = generate ? 1 : 0;
    RecordedEvents().clear();
    const bool told = !ConvertFile(WorkPath, "f.bin", nullptr);
    std::string ignored;
    // A failure is told; a box beside a success can only name the set-aside file.
    if (told ? RecordedEvents().empty() : KeptAsideBoxes() != RecordedEvents().size()) __builtin_trap();
    // Only a failed delete may leave the unfinished copy.
    if (!FakeCallFailed() && GetFakeFile(Folder + std::string(UnfinishedCopyStem) + ".tmp", &ignored)) __builtin_trap();
    // A set-aside file is never touched by a later run, and goes with its own run's success.
    if (!StepsKeptBothFiles()) __builtin_trap();
    if (replace == InStepsAsideTaken && !FileIs(Aside, Bytes(leftover.begin(), leftover.end()))) __builtin_trap();
    const std::string& ownAside = replace == InStepsAsideTaken ? NextAside : Aside;
    if (!FakeCallFailed() && GetFakeFile(ownAside, &ignored)) __builtin_trap();
    // What was there before the run stays, unless it is exactly what the run makes.
    if (existing == OtherThere && !FileIs(Copy, copyBefore)) __builtin_trap();
    if (lone || (existing == OtherThere && !FakeCallFailed())) {
        if (!told || !FileIs(Picked, original)) __builtin_trap();
        if (existing == NoCopy && GetFakeFile(Copy, &ignored)) __builtin_trap();
        return;
    }
    if (!PlainRepairStands(original, expected)) {
        std::string now;
        if (!GetFakeFile(Picked, &now)) return;  // a failure's steps are checked above
        if (!KeepsSomePairs(original, Bytes(now.begin(), now.end()))) __builtin_trap();
        return;
    }
    // Overwrite mode changes nothing in a file the repair leaves as it is.
    const bool unchanged = expected == original;
    const bool leftCopy = generate || (unchanged && existing == RepairThere);
    const bool repaired = generate ? FileIs(Picked, original) && FileIs(Copy, expected)
                                   : FileIs(Picked, expected) && leftCopy == GetFakeFile(Copy, &ignored);
    if (!FakeCallFailed()) {
        if (told || !repaired) __builtin_trap();
        return;
    }
    // A failure is told unless the job got done anyway (only a file's marks were not
    // kept), and it never costs the picked file: the replace is one step, or steps whose
    // only way to leave its name empty (the rename back failed too) names the set-aside
    // file, with its bytes and the repair under the other two names.
    if (!repaired && !told) __builtin_trap();
    if (generate && !FileIs(Picked, original)) __builtin_trap();
    const bool heldAside = told && KeptAsideBoxes() > 0 && !GetFakeFile(Picked, &ignored) &&
                           FileIs(ownAside, original) && FileIs(Copy, expected);
    if (!generate && !FileIs(Picked, original) && !FileIs(Picked, expected) && !heldAside) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const size_t piece = 1 + data[0];
    const bool generate = (data[1] & 1) != 0;
    const RestoreWidth width = static_cast<RestoreWidth>((data[1] >> 1) % 3);
    const ExistingCopy existing = static_cast<ExistingCopy>((data[1] >> 3) % 3);
    const Replace replace = static_cast<Replace>((data[1] >> 3) / 3 % 3);
    const uint64_t failures = data[2] | (data[3] << 8);
    data += 4;
    size -= 4;
    bool lone = false;
    const Bytes expected = Reference(data, size, &lone);
    CheckEveryPath(data, size, piece, expected, lone);
    LimitRestoreWidth(width);
    ConvertThroughFiles(Bytes(data, data + size), expected, lone, generate, existing, replace, failures);
    return 0;
}
