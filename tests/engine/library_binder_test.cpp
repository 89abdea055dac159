#include "engine/library_binder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/library_folder.h"
#include "engine/ogg_library.h"
#include "engine/theora_library.h"
#include "engine/vorbis_library.h"
#include "tests/engine/ogg_test_support.h"

namespace {

// A library the test program does not link, so loading and unloading it can be watched.
constexpr const char* WatchedLibrary = "libvorbisfile.so.3";

bool IsLoaded(const char* name) {
    void* handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

// The real file of libogg, which this test program links.
std::string SystemOggPath() {
    Dl_info info{};
    EXPECT_NE(dladdr(reinterpret_cast<void*>(&ogg_stream_init), &info), 0);
    return info.dli_fname;
}

TLibraryPlaces PlacesFor(std::vector<std::string> folders) {
    return {[folders] { return folders; }, [] { return std::string(); }};
}

struct TResolved {
    void* Address = nullptr;
    int Clears = 0;
};

TLibraryBinder MakeBinder(std::vector<TLibraryFile> files, const char* symbol, TResolved& resolved,
                          TLibraryPlaces places) {
    return TLibraryBinder(
        std::move(files),
        [symbol, &resolved](const TSymbolLookup& lookup) { resolved.Address = lookup(symbol); },
        [&resolved] {
            resolved.Address = nullptr;
            ++resolved.Clears;
        },
        std::move(places));
}

TEST(LibraryFolder, FirstCandidateHoldingTheMarkerWins) {
    const std::string empty = MakeTempFolder("search_empty");
    const std::string decoy = MakeTempFolder("search_decoy");
    const std::string first = MakeTempFolder("search_first");
    const std::string second = MakeTempFolder("search_second");
    std::filesystem::create_directory(decoy + LibraryMarkerFile);  // a folder, not a library
    std::ofstream(first + LibraryMarkerFile) << "x";
    std::ofstream(second + LibraryMarkerFile) << "x";
    std::string unslashed = second.substr(0, second.size() - 1);

    EXPECT_EQ(FirstFolderHolding({"", empty, decoy, first, second}, LibraryMarkerFile), first);
    EXPECT_EQ(FirstFolderHolding({empty, unslashed}, LibraryMarkerFile), second);
    EXPECT_EQ(FirstFolderHolding({empty, decoy}, LibraryMarkerFile), "");
    EXPECT_EQ(FirstFolderHolding({}, LibraryMarkerFile), "");
}

TEST(LibraryFolder, OwnLibrariesComeFromTheProgramFolderThenTheInstallationFolder) {
    const std::string program = MakeTempFolder("own_program");
    const std::string installation = MakeTempFolder("own_installation");
    const std::string unslashed = installation.substr(0, installation.size() - 1);
    std::ofstream(installation + "libown.so") << "x";

    EXPECT_EQ(OwnLibraryFolder(program, unslashed, "libown.so"), installation);
    std::ofstream(program + "libown.so") << "x";
    EXPECT_EQ(OwnLibraryFolder(program, installation, "libown.so"), program);
    // Found nowhere: the program's folder, so the failure names the first place looked at.
    EXPECT_EQ(OwnLibraryFolder(program, installation, "libother.so"), program);
    EXPECT_EQ(OwnLibraryFolder(program, "", "libother.so"), program);
}

TEST(LibraryFolder, SearchesTheProgramFolderItsParentThenTheWorkingFolder) {
    const std::string program = ProgramFolder();
    ASSERT_EQ(program, std::string(KZ_BIN_DIR) + "/");
    std::vector<std::string> folders = LibrarySearchFolders();
    // No installation folder is recorded on a test machine.
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0], program);
    EXPECT_EQ(folders[1], program + "../");
    EXPECT_EQ(folders[2], WithTrailingSlash(std::filesystem::current_path().string()));

    // A recorded installation folder comes first; an empty record adds nothing.
    SetInstallationFolderLookup([] { return std::string("/opt/kestrova"); });
    folders = LibrarySearchFolders();
    SetInstallationFolderLookup([] { return std::string(); });
    const size_t withoutRecord = LibrarySearchFolders().size();
    SetInstallationFolderLookup(nullptr);
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0], "/opt/kestrova/");
    EXPECT_EQ(folders[1], program);
    EXPECT_EQ(withoutRecord, 3u);
}

TEST(LibraryBinder, LoadsFromTheFirstFolderHoldingLibogg) {
    const std::string without = MakeTempFolder("bind_without");
    const std::string with = MakeTempFolder("bind_with");
    std::filesystem::create_symlink(SystemOggPath(), with + "libogg.so.0");
    TResolved resolved;
    TLibraryBinder binder =
        MakeBinder({{"libogg.so.0"}}, "ogg_stream_init", resolved, PlacesFor({without, with}));
    ASSERT_TRUE(binder.Bind());
    EXPECT_EQ(binder.LoadedPaths(), std::vector<std::string>{with + "libogg.so.0"});
    EXPECT_EQ(resolved.Address, reinterpret_cast<void*>(&ogg_stream_init));
    binder.Unbind();

    // No folder qualifies: the bare name goes through the system search.
    TLibraryBinder bare =
        MakeBinder({{"libogg.so.0"}}, "ogg_stream_init", resolved, PlacesFor({without}));
    ASSERT_TRUE(bare.Bind());
    EXPECT_EQ(bare.LoadedPaths(), std::vector<std::string>{"libogg.so.0"});
    bare.Unbind();
}

TEST(LibraryBinder, UnloadsOnlyAfterAsManyUnbindsAsBinds) {
    ASSERT_FALSE(IsLoaded(WatchedLibrary));
    TResolved resolved;
    TLibraryBinder binder = MakeBinder({{WatchedLibrary}}, "ov_open", resolved, PlacesFor({}));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(binder.Bind());
    EXPECT_EQ(binder.RefCount(), 3);
    EXPECT_TRUE(IsLoaded(WatchedLibrary));
    EXPECT_NE(resolved.Address, nullptr);
    binder.Unbind();
    binder.Unbind();
    EXPECT_TRUE(IsLoaded(WatchedLibrary));
    EXPECT_NE(resolved.Address, nullptr);
    binder.Unbind();
    EXPECT_FALSE(IsLoaded(WatchedLibrary));
    EXPECT_EQ(resolved.Address, nullptr);
    EXPECT_EQ(resolved.Clears, 1);
    binder.Unbind();  // nothing held: nothing happens
    EXPECT_EQ(binder.RefCount(), 0);
    EXPECT_EQ(resolved.Clears, 1);
    ASSERT_TRUE(binder.Bind());
    EXPECT_TRUE(IsLoaded(WatchedLibrary));
    binder.Unbind();
}

TEST(LibraryBinder, ResidentFileStaysMappedAfterTheGroupIsUnloaded) {
    // Another library the test program does not link; it stays mapped for the process.
    constexpr const char* Resident = "libopus.so.0";
    if (IsLoaded(Resident)) GTEST_SKIP() << Resident << " is loaded already";
    ASSERT_FALSE(IsLoaded(WatchedLibrary));
    TResolved resolved;
    TLibraryBinder binder =
        MakeBinder({{Resident, TLibraryFile::TPlace::LibraryFolder, true, true}, {WatchedLibrary}},
                   "ov_open", resolved, PlacesFor({}));
    if (!binder.Bind()) GTEST_SKIP() << Resident << " is not installed";
    binder.Unbind();
    EXPECT_FALSE(IsLoaded(WatchedLibrary));
    EXPECT_TRUE(IsLoaded(Resident));
    EXPECT_EQ(resolved.Address, nullptr);
    ASSERT_TRUE(binder.Bind());
    EXPECT_NE(resolved.Address, nullptr);
    binder.Unbind();
}

TEST(LibraryBinder, GroupWithAMissingFileLoadsNothingAndTriesAgainLater) {
    TResolved resolved;
    resolved.Address = &resolved;
    TLibraryBinder binder =
        MakeBinder({{WatchedLibrary}, {"libkz-absent.so.1"}}, "ov_open", resolved, PlacesFor({}));
    EXPECT_FALSE(binder.Bind());
    EXPECT_FALSE(binder.Bind());
    EXPECT_EQ(binder.RefCount(), 0);
    EXPECT_FALSE(IsLoaded(WatchedLibrary));
    EXPECT_EQ(resolved.Address, &resolved);  // the table was never touched
    EXPECT_TRUE(binder.LoadedPaths().empty());
    binder.Unbind();
    EXPECT_EQ(resolved.Clears, 0);
}

// A user whose bind failed must not release the reference another user holds.
int FakeUnbinds = 0;
bool FakeBindResult = false;
bool FakeBind() {
    return FakeBindResult;
}
void FakeUnbind() {
    ++FakeUnbinds;
}

TEST(LibraryUse, ReleasesOnlyAReferenceItTook) {
    FakeUnbinds = 0;
    FakeBindResult = false;
    {
        TLibraryUse failed(FakeBind, FakeUnbind);
        EXPECT_FALSE(failed.Ready());
    }
    EXPECT_EQ(FakeUnbinds, 0);
    FakeBindResult = true;
    {
        TLibraryUse bound(FakeBind, FakeUnbind);
        TLibraryUse moved(std::move(bound));
        EXPECT_TRUE(moved.Ready());
        EXPECT_FALSE(bound.Ready());
    }
    EXPECT_EQ(FakeUnbinds, 1);
}

TEST(CodecBinders, BindTheSystemCodecLibraries) {
    ASSERT_TRUE(BindOgg());
    EXPECT_NE(OggLib.ogg_stream_pageout, nullptr);
    EXPECT_NE(OggLib.oggpackB_get_buffer, nullptr);
    ASSERT_TRUE(BindVorbis());
    EXPECT_NE(VorbisLib.vorbis_encode_init_vbr, nullptr);  // from libvorbisenc
    EXPECT_NE(VorbisLib.vorbis_granule_time, nullptr);     // from libvorbis
    UnbindVorbis();
    UnbindOgg();
    if (!std::filesystem::exists(std::string(KZ_BIN_DIR) + "/libplanewright.so")) {
        GTEST_SKIP() << "libplanewright.so is not built beside the tests";
    }
    ASSERT_TRUE(BindTheora());
    EXPECT_NE(TheoraLib.th_encode_alloc, nullptr);
    EXPECT_NE(TheoraLib.th_granule_time, nullptr);
    EXPECT_NE(TheoraLib.RGB2YUV, nullptr);
    UnbindTheora();
}

}  // namespace
