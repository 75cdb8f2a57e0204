// The owned archive: a resource copy, the file system that frees it, and the reader over it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "host/owned_archive.h"
#include "host/resource_file_system.h"

namespace {

// Passes reads through to the installer's resources and counts the buffers handed out and given back.
class CountingFiles : public FileSystem {
  public:
    CountingFiles() { registerInstallerResources(resources_); }
    void* readFile(const wchar_t* name, std::size_t* size) override {
        void* buffer = resources_.readFile(name, size);
        reads += buffer != nullptr;
        return buffer;
    }
    void freeBuffer(void* buffer) override {
        frees += buffer != nullptr;
        resources_.freeBuffer(buffer);
    }
    int reads = 0;
    int frees = 0;

  private:
    ResourceFileSystem resources_;
};

TEST(OwnedArchive, GivesEachCopyBackOnceWhenReopenedClosedOrDestroyed) {
    CountingFiles files;
    {
        OwnedArchive archive;
        EXPECT_FALSE(archive.open(&files, L"missing.lz"));
        EXPECT_FALSE(archive.open(nullptr, L"frame.lz"));
        EXPECT_FALSE(archive);
        ASSERT_TRUE(archive.open(&files, L"frame.lz"));
        ASSERT_TRUE(archive);
        EXPECT_FALSE(archive.get()->isDamaged()) << archive.get()->damage();
        ASSERT_TRUE(archive.open(&files, L"style.lz"));
        EXPECT_EQ(files.frees, 1) << "reopening gives the earlier copy back";
        archive.close();
        archive.close();
        EXPECT_EQ(files.frees, 2) << "closing twice gives back once";
        EXPECT_FALSE(archive);
        ASSERT_TRUE(archive.open(&files, L"frame.lz"));
    }
    EXPECT_EQ(files.frees, 3) << "the destructor gives the last copy back";
    EXPECT_EQ(files.reads, files.frees);
}

TEST(OwnedArchive, ExtractsEntriesByNameAndNothingWhenEmpty) {
    CountingFiles files;
    OwnedArchive archive;
    std::size_t size = 12345;
    EXPECT_FALSE(archive.extract(L"font.xml", &size)) << "an empty archive holds nothing";
    ASSERT_TRUE(archive.open(&files, L"style.lz"));
    const PackEntry* font = archive.get()->find(u"font.xml");
    ASSERT_NE(font, nullptr);
    unique_entry entry = archive.extract(L"font.xml", &size);
    ASSERT_TRUE(entry);
    EXPECT_EQ(size, font->contentSize());
    EXPECT_NE(std::memchr(entry.get(), '<', size), nullptr) << "the XML text itself";
    EXPECT_FALSE(archive.extract(L"Font.xml", &size)) << "names are case-sensitive";
    EXPECT_FALSE(archive.extract(nullptr, &size));
}

TEST(OwnedArchive, ReadsInPlaceWhenTheFileSystemKeepsAViewAndCopiesOtherwise) {
    CountingFiles files;  // keeps no views: a copy
    OwnedArchive copied;
    ASSERT_TRUE(copied.openInPlace(&files, L"style.lz"));
    EXPECT_EQ(files.reads, 1);
    EXPECT_FALSE(copied.openInPlace(&files, L"missing.lz"));
    EXPECT_EQ(files.frees, 1);
    ASSERT_TRUE(copied.openInPlace(&files, L"style.lz"));

    ResourceFileSystem resources;
    registerInstallerResources(resources);
    OwnedArchive inPlace;
    ASSERT_TRUE(inPlace.openInPlace(&resources, L"style.lz"));
    std::size_t viewSize = 0;
    EXPECT_EQ(static_cast<const void*>(inPlace.get()->base()), resources.mapFile(L"style.lz", &viewSize));
    EXPECT_EQ(inPlace.get()->entries().size(), copied.get()->entries().size());
    for (const auto& [name, entry] : inPlace.get()->entries()) {
        std::wstring wide(name.begin(), name.end());
        std::size_t a = 0, b = 0;
        unique_entry fromView = inPlace.extract(wide.c_str(), &a);
        inPlace.release(entry);
        unique_entry fromCopy = copied.extract(wide.c_str(), &b);
        ASSERT_TRUE(fromView && fromCopy);
        ASSERT_EQ(a, b);
        EXPECT_EQ(std::memcmp(fromView.get(), fromCopy.get(), a), 0);
    }
    for (const auto& [name, entry] : inPlace.get()->entries()) inPlace.release(entry);
    std::size_t size = 0;
    EXPECT_TRUE(inPlace.extract(L"font.xml", &size)) << "released bytes read back";
    inPlace.close();
    EXPECT_FALSE(inPlace);
}

TEST(OwnedArchive, AdoptedBytesWithoutAFileSystemAreFreedByTheArchive) {
    OwnedArchive archive;
    EXPECT_FALSE(archive.adopt(nullptr, 0, nullptr));
    // An empty block: the index is damaged but the bytes are still the archive's to free.
    void* bytes = std::malloc(4);
    ASSERT_TRUE(archive.adopt(bytes, 0, nullptr));
    EXPECT_TRUE(archive.get()->isDamaged());
    archive.close();
    EXPECT_FALSE(archive);
}

}  // namespace
