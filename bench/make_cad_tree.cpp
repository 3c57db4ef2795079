// Writes a tree of CAD-like files for the benchmark. The same arguments always give the same
// names and bytes, on every machine and library version, so timings stay comparable.

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The part name the benchmark searches for, upper case as a search run sends it.
constexpr std::string_view searchedPart = "WELLE_0815";

// Near misses: wrong case, cut short, one character off. A space after each keeps the random
// bytes around it from completing the name by chance.
constexpr std::array<std::string_view, 7> decoys = {
    "welle_0815 ", "Welle_0815 ", "WELLE_081 ",  "WELLE_08 ",
    " ELLE_0815 ", "WELLE-0815 ", "WELLE_O815 ",
};

constexpr int defaultFileCount = 3000;
// A share of many small files: 200 files per folder, 100 to 3000 bytes each.
constexpr int defaultSmallFileCount = 200'000;
constexpr int smallFilesPerFolder = 200;
constexpr std::size_t smallFileMinSize = 100;
constexpr std::size_t smallFileMaxSize = 3000;
constexpr int maxDepth = 6;
constexpr std::size_t blockSize = 4096;
constexpr std::size_t chunkSize = 65536;
constexpr std::uint64_t seed = 0x5eed0815c0ffee01;

// splitmix64: its output is fixed by its definition, unlike the std distributions.
class Random
{
public:
    explicit Random(std::uint64_t state)
        : state(state)
    {}

    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }
    // The modulo bias is far below anything a benchmark tree could show.
    std::uint64_t below(std::uint64_t bound) { return next() % bound; }
    std::uint64_t between(std::uint64_t low, std::uint64_t high)
    {
        return low + below(high - low + 1);
    }
    bool percent(unsigned chance) { return below(100) < chance; }
    template<typename T, std::size_t N> const T &pick(const std::array<T, N> &items)
    {
        return items[below(N)];
    }

private:
    std::uint64_t state;
};

template<typename... Args> std::string format(const char *pattern, Args... args)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

struct Folder
{
    fs::path path;
    int depth;
};

enum class Kind
{
    Assembly,
    Drawing,
    Part,
    Other
};

struct Totals
{
    int files = 0;
    std::uint64_t bytes = 0;
    int assemblies = 0;
    int assembliesWithPart = 0;
    std::uint64_t assemblyBytes = 0;
};

std::string folderName(Random &random, int index)
{
    // "Export.ASM" matches the assembly pattern although it is a folder; "Gehäuse" is UTF-8.
    static constexpr std::array<const char *, 12> stems = {
        "Projekt", "Baugruppen", "Zeichnungen", "Teile",     "Normteile", "archiv",
        "alt",     "Kunde",      "Rev_B",       "varianten", "Gehäuse",   "Export.ASM",
    };
    return format("%s_%02d", random.pick(stems), index);
}

std::vector<Folder> makeFolders(Random &random, const fs::path &root, int count)
{
    std::vector<Folder> folders = {{root, 0}};
    // One chain reaches the deepest level, whatever the random choices below.
    for (int depth = 1; depth <= maxDepth; ++depth)
        folders.push_back({folders.back().path / folderName(random, depth), depth});
    while (int(folders.size()) < count) {
        // Shallow parents are likelier, so the tree is broad near the top as shares are.
        const Folder &parent = folders[random.below(folders.size())];
        if (parent.depth > int(random.below(maxDepth)))
            continue;
        folders.push_back(
            {parent.path / folderName(random, int(folders.size())), parent.depth + 1});
    }
    for (const Folder &folder : folders)
        fs::create_directories(folder.path);
    return folders;
}

Kind pickKind(Random &random)
{
    const auto roll = random.below(100);
    if (roll < 35)
        return Kind::Assembly;
    if (roll < 60)
        return Kind::Drawing;
    if (roll < 95)
        return Kind::Part;
    return Kind::Other;
}

// Names in the mixed cases and revision styles of a real share; the index keeps them unique.
std::string fileName(Random &random, Kind kind, int index)
{
    const auto revision = int(random.between(1, 15));
    switch (kind) {
    case Kind::Assembly: {
        static constexpr std::array<const char *, 5> patterns = {
            "ASM_%04d.ASM.%d",    "asm_%04d.asm.%d", "Baugruppe_%d.Asm.%d",
            "getriebe_%d.asm.%d", "MOTOR_%d.asm",
        };
        return format(random.pick(patterns), index, revision);
    }
    case Kind::Drawing: {
        static constexpr std::array<const char *, 3> patterns = {"Plan_%d.DRW.%d", "plan_%d.drw.%d",
                                                                 "ZNG_%04d.Drw.%d"};
        return format(random.pick(patterns), index, revision);
    }
    case Kind::Part: {
        static constexpr std::array<const char *, 4> patterns = {
            "hub_%d.prt.%d", "PRT_%04d.PRT.%d", "welle_%d.prt.%d", "Flansch_%d.Prt"};
        return format(random.pick(patterns), index, revision);
    }
    case Kind::Other: {
        // "asm_" and "ASM" before another type must not match the assembly pattern.
        static constexpr std::array<const char *, 5> patterns = {
            "stueckliste_%d.csv", "notiz_%d.txt", "ASM_%04d.pdf", "export_%d.step", "asm_%d.log"};
        return format(random.pick(patterns), index);
    }
    }
    return {};
}

// Most files are small, a few are large; the large ones dominate the bytes read.
std::size_t pickSize(Random &random)
{
    const auto roll = random.below(1000);
    if (roll < 800)
        return random.between(15'000, 64'000);
    if (roll < 970)
        return random.between(64'000, 384'000);
    if (roll < 997)
        return random.between(384'000, 2'000'000);
    return random.between(2'000'000, 8'000'000);
}

void put(std::string &bytes, std::size_t position, std::string_view text)
{
    if (position + text.size() <= bytes.size())
        bytes.replace(position, text.size(), text);
}

// Random bytes with the text records a CAD file keeps between them: other parts' names,
// feature lines. None of them can form the searched name. Text-like: letters, digits and line
// ends instead of random bytes, so that the whole file is one run of the bytes names are made of.
void fillBackground(Random &random, std::string &bytes, bool textLike)
{
    static constexpr std::string_view nameBytes =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
        "0123456789\n";
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        const std::uint64_t word = random.next();
        std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, bytes.size() - i));
    }
    if (textLike) {
        for (char &byte : bytes)
            byte = nameBytes[static_cast<unsigned char>(byte) % nameBytes.size()];
    }
    static constexpr std::array<const char *, 6> records = {
        "\nPART PRT_%04d REV %d\n",
        "\nWELLE_%04d.PRT %d\n",
        "\nfeature extrude_%d depth=%d.500\n",
        "\nHUB_%d INSTANCE %d\n",
        "\nmaterial STAHL_%d %d\n",
        "\nLAGER_%04d.ASM %d\n",
    };
    for (std::size_t position = random.below(600); position < bytes.size();
         position += random.between(200, 1200)) {
        // WELLE_1000 to WELLE_9999: never the searched 0815.
        put(bytes, position,
            format(random.pick(records), int(random.between(1000, 9999)),
                   int(random.between(1, 99))));
    }
}

// Where a real occurrence of a text of this length goes: the block and chunk boundaries are
// where a reader that carries bytes from one read to the next goes wrong.
std::size_t pickPosition(Random &random, std::size_t size, std::size_t length)
{
    const std::size_t lastStart = size - length;
    switch (random.below(6)) {
    case 0:
        return 0;
    case 1:
        return lastStart;
    case 2:
        if (size > chunkSize + length)
            return chunkSize * random.between(1, (size - length) / chunkSize) -
                   random.between(1, length - 1);
        [[fallthrough]];
    case 3:
        if (size >= blockSize + length)
            return blockSize * random.between(1, (size - length) / blockSize) -
                   random.between(1, length - 1);
        [[fallthrough]];
    case 4:
        return lastStart - random.below(size / 4);
    default:
        return random.below(lastStart + 1);
    }
}

void addDecoys(Random &random, std::string &bytes)
{
    const auto count = random.between(2, 6);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string_view decoy = random.pick(decoys);
        // Some end exactly on a block boundary, so only the carry could join them to what follows.
        const bool holdsABlock = bytes.size() >= blockSize;
        const std::size_t boundaryEnd =
            holdsABlock
                ? blockSize * random.between(1, bytes.size() / blockSize) - (decoy.size() - 1)
                : 0;
        put(bytes, random.percent(40) && holdsABlock ? boundaryEnd : random.below(bytes.size()),
            decoy);
    }
    // A name cut off by the end of the file.
    if (random.percent(10))
        put(bytes, bytes.size() - 9, searchedPart.substr(0, 9));
}

unsigned partChance(Kind kind)
{
    switch (kind) {
    case Kind::Assembly:
        return 35;
    case Kind::Drawing:
        return 25;
    case Kind::Part:
        return 3;
    case Kind::Other:
        return 20;
    }
    return 0;
}

// Everything but the searched name: background, records and decoys.
std::string makeFiller(Random &random, std::size_t size, bool textLike = false)
{
    std::string bytes(size, '\0');
    fillBackground(random, bytes, textLike);
    addDecoys(random, bytes);
    return bytes;
}

std::string makeContent(Random &random, Kind kind, std::size_t size, bool textLike)
{
    std::string bytes = makeFiller(random, size, textLike);
    // The real occurrences last, so no decoy overwrites one.
    if (random.percent(partChance(kind))) {
        const auto occurrences = random.percent(20) ? 2 : 1;
        for (int i = 0; i < occurrences; ++i)
            put(bytes, pickPosition(random, size, searchedPart.size()), searchedPart);
    }
    return bytes;
}

void writeFile(const fs::path &path, const std::string &bytes, Kind kind, Totals &totals)
{
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    file.close();
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    ++totals.files;
    totals.bytes += bytes.size();
    if (kind != Kind::Assembly)
        return;
    ++totals.assemblies;
    totals.assemblyBytes += bytes.size();
    if (bytes.find(searchedPart) != std::string::npos)
        ++totals.assembliesWithPart;
}

// Files a share also holds: the part itself, names outside ASCII (one in Latin-1, as old
// shares have them), two large assemblies (a reader that holds whole files shows in the memory
// check), an empty one and one shorter than the searched name.
void writeSpecialFiles(Random &random, const std::vector<Folder> &folders, Totals &totals)
{
    const auto folder = [&] { return folders[random.below(folders.size())].path; };
    const auto write = [&](const char *name, const std::string &bytes, Kind kind) {
        writeFile(folder() / name, bytes, kind, totals);
    };
    std::string bytes = makeFiller(random, 40'000);
    put(bytes, 0, searchedPart);
    write("welle_0815.prt.4", bytes, Kind::Part);

    bytes = makeFiller(random, 70'000);
    put(bytes, chunkSize - 4, searchedPart);
    write("W\xe4rmetauscher_1.asm.2", bytes, Kind::Assembly);
    bytes = makeFiller(random, 50'000);
    put(bytes, blockSize - 6, searchedPart);
    write("Gehäuse_2.ASM.1", bytes, Kind::Assembly);

    bytes = makeFiller(random, 7'500'000);
    put(bytes, bytes.size() - chunkSize - 3, searchedPart);
    write("ANLAGE_3.ASM.7", bytes, Kind::Assembly);
    write("anlage_4.asm.2", makeFiller(random, 6'000'000), Kind::Assembly);

    write("leer_5.asm.1", {}, Kind::Assembly);
    write("kurz_6.asm.1", std::string(searchedPart.substr(0, 5)), Kind::Assembly);
}

bool parseCount(const char *text, int &count)
{
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), count);
    return error == std::errc() && end == view.data() + view.size() && count > 0;
}

// The where-used tree: every assembly has a level, and holds the names of assemblies of the
// level below it; those of level 1 hold the part name, those of level 0 are used nowhere and hold
// no name. Drawings hold the name of an assembly.
constexpr int designedLevels = 5;

struct PlannedFile
{
    fs::path path;
    Kind kind;
    std::size_t size;
    int assembly = -1; // its entry in the assemblies, for one
};

struct PlannedAssembly
{
    // the bytes other files hold its name in: its base name in upper case, and for a name outside
    // ASCII that in UTF-8 and in Windows-1252
    std::vector<std::string> forms;
    int level;
};

int pickLevel(Random &random)
{
    const auto roll = random.below(100);
    if (roll < 25)
        return 1;
    if (roll < 50)
        return 2;
    if (roll < 70)
        return 3;
    if (roll < 82)
        return 4;
    return roll < 90 ? 5 : 0;
}

std::string upperBaseName(const std::string &name)
{
    std::string base = name.substr(0, name.find('.'));
    for (char &c : base)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return base;
}

// The next revision of the same file: hub.asm.3 becomes hub.asm.4, hub.asm hub.asm.2.
std::string nextRevision(const std::string &name)
{
    const std::size_t dot = name.rfind('.');
    const std::string last = name.substr(dot + 1);
    int revision = 0;
    if (!parseCount(last.c_str(), revision))
        return name + ".2";
    return name.substr(0, dot + 1) + std::to_string(revision + 1);
}

// A name outside ASCII, on a share in UTF-8 or, as old shares hold them, in Latin-1, in its forms.
std::pair<std::string, PlannedAssembly> nameOutsideAscii(Random &random, int index)
{
    const auto revision = int(random.between(1, 9));
    if (random.percent(70))
        return {format("K\xc3\xbchler_%d.asm.%d", index, revision),
                {{format("K\xc3\x9cHLER_%d", index), format("K\xdcHLER_%d", index)}, 0}};
    return {format("Gebl\xe4se_%d.asm.%d", index, revision),
            {{format("GEBL\xc3\x84SE_%d", index), format("GEBL\xc4SE_%d", index)}, 0}};
}

void placeName(Random &random, std::string &bytes, const PlannedAssembly &assembly)
{
    const std::string &form = assembly.forms[random.below(assembly.forms.size())];
    put(bytes, pickPosition(random, bytes.size(), form.size()), form);
}

const PlannedAssembly &pickOfLevel(Random &random, const std::vector<PlannedAssembly> &assemblies,
                                   const std::vector<int> &ofLevel)
{
    return assemblies[std::size_t(ofLevel[random.below(ofLevel.size())])];
}

std::string makeWhereUsedContent(Random &random, const PlannedFile &file,
                                 const std::vector<PlannedAssembly> &assemblies,
                                 const std::array<std::vector<int>, designedLevels + 1> &byLevel)
{
    std::string bytes = makeFiller(random, file.size);
    // near misses: a name in lower case
    const PlannedAssembly &other = assemblies[random.below(assemblies.size())];
    std::string lower = other.forms.front();
    for (char &c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    put(bytes, random.below(bytes.size() - lower.size()), lower);

    if (file.kind == Kind::Drawing && random.percent(60))
        placeName(random, bytes, other);
    if (file.assembly < 0)
        return bytes;
    const int level = assemblies[std::size_t(file.assembly)].level;
    if (level == 1)
        put(bytes, pickPosition(random, file.size, searchedPart.size()), searchedPart);
    if (level >= 2 && !byLevel[level - 1].empty()) {
        for (auto count = random.between(1, 3); count > 0; --count)
            placeName(random, bytes, pickOfLevel(random, assemblies, byLevel[level - 1]));
    }
    // references in a circle: to a level above
    if ((level == 1 || level == 2) && random.percent(4) && !byLevel[level + 2].empty())
        placeName(random, bytes, pickOfLevel(random, assemblies, byLevel[level + 2]));
    return bytes;
}

void writeWhereUsedTree(Random &random, const std::vector<Folder> &folders, int fileCount,
                        Totals &totals)
{
    std::vector<PlannedFile> files;
    std::vector<PlannedAssembly> assemblies;
    std::array<std::vector<int>, designedLevels + 1> byLevel;
    for (int index = totals.files; int(files.size()) + totals.files < fileCount; ++index) {
        const fs::path &folder = folders[random.below(folders.size())].path;
        const Kind kind = pickKind(random);
        std::string name = fileName(random, kind, index);
        const std::size_t size = pickSize(random);
        if (kind != Kind::Assembly) {
            files.push_back({folder / name, kind, size});
            continue;
        }
        PlannedAssembly assembly{{upperBaseName(name)}, 0};
        if (random.percent(4))
            std::tie(name, assembly) = nameOutsideAscii(random, index);
        assembly.level = pickLevel(random);
        const int entry = int(assemblies.size());
        assemblies.push_back(assembly);
        byLevel[std::size_t(assembly.level)].push_back(entry);
        files.push_back({folder / name, kind, size, entry});
        // another revision of it beside it, by the same name
        if (random.percent(5))
            files.push_back({folder / nextRevision(name), kind, pickSize(random), entry});
    }
    for (const PlannedFile &file : files)
        writeFile(file.path, makeWhereUsedContent(random, file, assemblies, byLevel), file.kind,
                  totals);
    std::printf("assemblies by designed level (0: used nowhere):");
    for (int level = 0; level <= designedLevels; ++level)
        std::printf(" %d: %zu", level, byLevel[std::size_t(level)].size());
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    const std::string_view kind = argc > 1 ? argv[1] : "";
    // --text: the share of small files, with text-like bytes
    const bool textLike = kind == "--text";
    const bool small = kind == "--small" || textLike;
    const bool whereUsed = kind == "--levels";
    const int firstOperand = small || whereUsed ? 2 : 1;
    int fileCount = small ? defaultSmallFileCount : defaultFileCount;
    const int operands = argc - firstOperand;
    if (operands < 1 || operands > 2 ||
        (operands == 2 && !parseCount(argv[firstOperand + 1], fileCount))) {
        std::fprintf(stderr,
                     "usage: make-cad-tree [--small|--text|--levels] FOLDER [FILES]\n"
                     "Writes FILES (default %d) CAD-like files into the new FOLDER, in nested\n"
                     "folders up to %d deep; the same arguments always give the same bytes.\n"
                     "--small: a share of many small files instead, FILES (default %d) of %zu\n"
                     "to %zu bytes, %d to a folder.\n"
                     "--text: as --small, with letters, digits and line ends between the\n"
                     "records instead of random bytes.\n"
                     "--levels: assemblies that hold the upper-case names of other assemblies,\n"
                     "over %d levels and a few circles, for a where-used search.\n",
                     defaultFileCount, maxDepth, defaultSmallFileCount, smallFileMinSize,
                     smallFileMaxSize, smallFilesPerFolder, designedLevels);
        return 2;
    }
    const fs::path root = argv[firstOperand];
    std::error_code error;
    if (fs::exists(root, error)) {
        std::fprintf(stderr, "make-cad-tree: %s already exists\n", argv[firstOperand]);
        return 2;
    }

    Random random(seed);
    try {
        const int folderCount =
            small ? std::max(1, fileCount / smallFilesPerFolder) : std::max(8, fileCount / 15);
        const std::vector<Folder> folders = makeFolders(random, root, folderCount);
        Totals totals;
        if (!small)
            writeSpecialFiles(random, folders, totals);
        if (whereUsed)
            writeWhereUsedTree(random, folders, fileCount, totals);
        for (int index = totals.files; !whereUsed && index < fileCount; ++index) {
            const fs::path &folder = folders[random.below(folders.size())].path;
            const Kind kind = pickKind(random);
            const std::string name = fileName(random, kind, index);
            const std::size_t size =
                small ? random.between(smallFileMinSize, smallFileMaxSize) : pickSize(random);
            writeFile(folder / name, makeContent(random, kind, size, textLike), kind, totals);
        }
        std::printf("%d files in %zu folders, %.0f MB; %d assemblies (%.0f MB), %d of them "
                    "contain %.*s\n",
                    totals.files, folders.size(), double(totals.bytes) / 1e6, totals.assemblies,
                    double(totals.assemblyBytes) / 1e6, totals.assembliesWithPart,
                    int(searchedPart.size()), searchedPart.data());
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "make-cad-tree: %s\n", failure.what());
        return 2;
    }
    return 0;
}
