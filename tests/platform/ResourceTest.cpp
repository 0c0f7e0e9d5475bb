#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/Resource.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

namespace {

std::string readAll(const char* path) {
    ResourceLock guard(theResourceManager);
    if (theResourceManager->notFound(path)) return "<not found>";
    ResourceStream* stream = theResourceManager->openStream(path);
    if (!stream) return "<not opened>";
    const long size = stream->seek(ResourceStream::End, 0);
    EXPECT_EQ(stream->seek(ResourceStream::Begin, 0), 0);
    std::string text(static_cast<size_t>(size), '\0');
    EXPECT_EQ(stream->read(&text[0], size), size);
    char extra;
    EXPECT_EQ(stream->read(&extra, 1), 0);  // at the end
    theResourceManager->closeStream(stream);
    return text;
}

// Seeking and reading inside a stream of "/Sounds/x.wav", which holds `bytes`.
void expectSeeking(const std::string& bytes) {
    ResourceLock guard(theResourceManager);
    ResourceStream* stream = theResourceManager->openStream("/Sounds/x.wav");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->getPath(), "/Sounds/x.wav");
    EXPECT_EQ(stream->seek(ResourceStream::Begin, 1000), 1000);
    EXPECT_EQ(stream->seek(ResourceStream::Current, 10), 1010);
    char c = 0;
    EXPECT_EQ(stream->read(&c, 1), 1);
    EXPECT_EQ(c, bytes[1010]);
    EXPECT_EQ(stream->seek(ResourceStream::Current, 0), 1011);
    const long size = static_cast<long>(bytes.size());
    EXPECT_EQ(stream->seek(ResourceStream::End, -3), size - 3);
    char tail[8] = {};
    EXPECT_EQ(stream->read(tail, sizeof tail), 3);  // what is left
    EXPECT_EQ(std::string(tail, 3), bytes.substr(bytes.size() - 3));
    EXPECT_EQ(stream->read(tail, sizeof tail), 0);
    EXPECT_EQ(stream->seek(ResourceStream::Begin, -1), -1);
    EXPECT_EQ(stream->seek(ResourceStream::Current, 0), size);  // a refused seek leaves the position
    theResourceManager->closeStream(stream);

    // Reads of every size from everywhere, small and large, forwards and
    // back, read what the file holds there.
    stream = theResourceManager->openStream("/Sounds/x.wav");
    ASSERT_NE(stream, nullptr);
    std::string got;
    long at = 0;
    for (long size : {1L, 7L, 4096L, 33000L, 5L, 40000L, 2L, 65536L, 100L, 3L}) {
        for (long from : {at, size * 3 % long(bytes.size()), long(bytes.size()) - size / 2}) {
            ASSERT_EQ(stream->seek(ResourceStream::Begin, from), from);
            got.assign(static_cast<size_t>(size), '\0');
            const long expected = std::max(0L, std::min(size, long(bytes.size()) - from));
            ASSERT_EQ(stream->read(&got[0], size), expected) << size << " bytes at " << from;
            EXPECT_EQ(got.substr(0, size_t(expected)), bytes.substr(size_t(from), size_t(expected)))
                << size << " bytes at " << from;
            at = from + expected;
        }
    }
    theResourceManager->closeStream(stream);
}

}  // namespace

TEST(Resources, SamePathReadsTheSameFromADirectoryAndFromAZip) {
    std::string binary;
    for (int k = 0; k < 70000; ++k) binary.push_back(static_cast<char>(k * 7));
    testsupport::TemporaryDirectory zipDir;
    const std::string archive = zipDir.file("content.zip");
    {
        testsupport::ResourceTree source(false);
        source.write("/Configs/Sounds/Effects.snd", "click = 'click.wav';\n");
        source.write("/Sounds/x.wav", binary);
        source.packZip(archive);
        ASSERT_TRUE(theResourceManager->mount(source.root()));
        EXPECT_EQ(readAll("/Configs/Sounds/Effects.snd"), "click = 'click.wav';\n");
        EXPECT_EQ(readAll("/Sounds/x.wav"), binary);
        expectSeeking(binary);
        ASSERT_TRUE(theResourceManager->unmount(source.root()));
    }
    EXPECT_EQ(readAll("/Sounds/x.wav"), "<not found>");
    ASSERT_TRUE(theResourceManager->mount(archive));
    EXPECT_EQ(readAll("/Configs/Sounds/Effects.snd"), "click = 'click.wav';\n");
    EXPECT_EQ(readAll("/Sounds/x.wav"), binary);

    expectSeeking(binary);
    ASSERT_TRUE(theResourceManager->unmount(archive));
}

TEST(Resources, MissingFilesDirectoriesAndClimbingPathsFailCleanly) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/a.wav", "RIFF");
    tree.makeDirectory("/Sounds/folder.wav");
    testsupport::TemporaryDirectory outside;

    debug::Capture capture;
    EXPECT_NE(theResourceManager->notFound("/Sounds/missing.wav"), 0);
    EXPECT_EQ(theResourceManager->openStream("/Sounds/missing.wav"), nullptr);
    EXPECT_NE(theResourceManager->notFound("/Sounds/folder.wav"), 0);
    EXPECT_EQ(theResourceManager->openStream("/Sounds/folder.wav"), nullptr);
    EXPECT_NE(theResourceManager->notFound("/Sounds/../Sounds/a.wav"), 0);
    EXPECT_EQ(theResourceManager->openStream("/Sounds/../Sounds/a.wav"), nullptr);
    EXPECT_EQ(theResourceManager->openStream(nullptr), nullptr);
    EXPECT_FALSE(theResourceManager->mount(outside.file("no-such-archive.zip")));
    EXPECT_EQ(capture.count("failed to open /Sounds/folder.wav: not a file"), 1u);
    EXPECT_EQ(capture.count("failed to open /Sounds/../Sounds/a.wav: a resource path may not contain \"..\""), 2u);  // notFound and openStream
    EXPECT_EQ(theResourceManager->notFound("/Sounds/a.wav"), 0);
}

// A file found once is opened by its name on disk afterwards; what the file
// is now still decides: rewritten, removed, replaced by a folder or by a
// link, it reads as any look-up through the mounts would read it.
TEST(Resources, AFileFoundBeforeReadsAsItIsOnDiskNow) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/a.wav", "one");
    tree.write("/Sounds/b.wav", "bee");
    tree.write("/Sounds/c.wav", "sea");
    tree.write("/Sounds/target.wav", "target");
    for (const char* path : {"/Sounds/a.wav", "/Sounds/b.wav", "/Sounds/c.wav"}) EXPECT_NE(readAll(path), "<not found>");

    tree.write("/Sounds/a.wav", "rewritten, longer");
    EXPECT_EQ(readAll("/Sounds/a.wav"), "rewritten, longer");
    tree.remove("/Sounds/a.wav");
    EXPECT_NE(theResourceManager->notFound("/Sounds/a.wav"), 0);
    EXPECT_EQ(theResourceManager->openStream("/Sounds/a.wav"), nullptr);
    tree.write("/Sounds/a.wav", "back");
    EXPECT_EQ(readAll("/Sounds/a.wav"), "back");

    debug::Capture capture;
    tree.remove("/Sounds/b.wav");
    tree.makeDirectory("/Sounds/b.wav");
    EXPECT_NE(theResourceManager->notFound("/Sounds/b.wav"), 0);
    EXPECT_EQ(theResourceManager->openStream("/Sounds/b.wav"), nullptr);
    EXPECT_EQ(capture.count("failed to open /Sounds/b.wav: not a file"), 1u);

    // Links inside the content are not followed, however the file was found
    // (where the system lets a program make a link: Wine does not).
    tree.remove("/Sounds/c.wav");
    std::error_code linking;
    std::filesystem::create_symlink(tree.pathOf("/Sounds/target.wav"), tree.pathOf("/Sounds/c.wav"), linking);
    if (!linking) {
        EXPECT_NE(theResourceManager->notFound("/Sounds/c.wav"), 0);
        EXPECT_EQ(theResourceManager->openStream("/Sounds/c.wav"), nullptr);
    }
#ifndef _WIN32
    EXPECT_FALSE(linking) << linking.message();
#endif
}

// Only the first mount's files are opened by name: one that a later mount
// gives is looked up through the mounts each time, so a file of the same
// path put into the first mount takes its place at once.
TEST(Resources, AFileOfTheFirstMountHidesALaterOnesAtOnce) {
    testsupport::ResourceTree first;
    testsupport::ResourceTree second(false);
    second.write("/Sounds/shared.wav", "second");
    second.write("/Sounds/only.wav", "only in the second");
    ASSERT_TRUE(theResourceManager->mount(second.root()));
    EXPECT_EQ(readAll("/Sounds/shared.wav"), "second");
    first.write("/Sounds/shared.wav", "first");
    EXPECT_EQ(readAll("/Sounds/shared.wav"), "first");
    first.remove("/Sounds/shared.wav");
    EXPECT_EQ(readAll("/Sounds/shared.wav"), "second");

    // A mount taken away forgets what was found in it.
    first.write("/Sounds/only.wav", "first again");
    EXPECT_EQ(readAll("/Sounds/only.wav"), "first again");
    ASSERT_TRUE(theResourceManager->unmount(first.root()));
    EXPECT_EQ(readAll("/Sounds/only.wav"), "only in the second");
    ASSERT_TRUE(theResourceManager->unmount(second.root()));
    EXPECT_EQ(readAll("/Sounds/only.wav"), "<not found>");
    ASSERT_TRUE(theResourceManager->mount(first.root()));  // the tree unmounts itself when it goes
}

TEST(Resources, LockIsReentrantAndExcludesOtherThreads) {
    testsupport::ResourceTree tree;
    tree.write("/a.txt", "a");
    int counter = 0;
    auto work = [&counter] {
        for (int k = 0; k < 200; ++k) {
            ResourceLock outer(theResourceManager);
            ResourceLock inner(theResourceManager);  // the same thread again
            const int seen = counter;
            ResourceStream* s = theResourceManager->openStream("/a.txt");
            theResourceManager->closeStream(s);
            counter = seen + 1;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 400);
}

// A mount of a folder or archive that holds nothing the library reads (an
// empty folder, the content's parent folder) is refused with the reason,
// and nothing is mounted; a configuration folder, a sound folder or a sound
// file at the top is content.
TEST(Resources, AMountWithoutContentIsRefusedAndSaysWhy) {
    struct Case {
        const char* name;
        std::vector<std::string> files;  // resource paths; a trailing "/" makes a folder
        bool zip;
        bool mounted;
    };
    const std::vector<Case> cases = {
        {"an empty folder", {}, false, false},
        {"the content's parent", {"/content/Configs/Sounds/Effects.snd", "/content/Sounds/a.wav"}, false, false},
        {"a folder of text", {"/readme.txt", "/Configs/notes.txt"}, false, false},
        {"an archive without content", {"/readme.txt"}, true, false},
        {"the configuration folder", {"/Configs/Sounds/"}, false, true},
        {"a sound folder", {"/Sounds/a.wav"}, false, true},
        {"a sound file at the top", {"/Bell.OGG"}, false, true},
        {"an archive of content", {"/Configs/Sounds/Effects.snd"}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ResourceTree tree(false);
        for (const std::string& f : c.files) {
            if (f.back() == '/') tree.makeDirectory(f);
            else tree.write(f, "x");
        }
        testsupport::TemporaryDirectory outside;
        const std::string source = c.zip ? outside.file("content.zip") : tree.root();
        if (c.zip) tree.packZip(source);
        const size_t before = theResourceManager->getMounts().size();
        debug::Capture capture;
        EXPECT_EQ(theResourceManager->mount(source), c.mounted);
        const std::string refusal = "failed to mount " + source +
                                    ": no content there (no Configs/Sounds, no Sounds, no sound file at its top)";
        EXPECT_EQ(capture.count(refusal), c.mounted ? 0u : 1u);
        EXPECT_EQ(theResourceManager->getMounts().size(), before + (c.mounted ? 1u : 0u));
        if (c.mounted) {
            EXPECT_TRUE(theResourceManager->unmount(source));
        }
    }
}
