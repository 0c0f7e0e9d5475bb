#include <gtest/gtest.h>

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
        ASSERT_TRUE(theResourceManager->unmount(source.root()));
    }
    EXPECT_EQ(readAll("/Sounds/x.wav"), "<not found>");
    ASSERT_TRUE(theResourceManager->mount(archive));
    EXPECT_EQ(readAll("/Configs/Sounds/Effects.snd"), "click = 'click.wav';\n");
    EXPECT_EQ(readAll("/Sounds/x.wav"), binary);

    // Seeking inside a stream of the archive.
    ResourceStream* stream = theResourceManager->openStream("/Sounds/x.wav");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->getPath(), "/Sounds/x.wav");
    EXPECT_EQ(stream->seek(ResourceStream::Begin, 1000), 1000);
    EXPECT_EQ(stream->seek(ResourceStream::Current, 10), 1010);
    char c = 0;
    EXPECT_EQ(stream->read(&c, 1), 1);
    EXPECT_EQ(c, binary[1010]);
    EXPECT_EQ(stream->seek(ResourceStream::Begin, -1), -1);
    theResourceManager->closeStream(stream);
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
