#include "host/owned_archive.h"

bool OwnedArchive::open(FileSystem* files, const wchar_t* name) {
    close();
    if (!files || !name)
        return false;
    std::size_t size = 0;
    unique_file_buffer bytes = readOwnedFile(*files, name, &size);
    return adopt(bytes.release(), size, files);
}

bool OwnedArchive::openInPlace(FileSystem* files, const wchar_t* name) {
    close();
    if (!files || !name)
        return false;
    std::size_t size = 0;
    if (const void* view = files->mapFile(name, &size)) {
        archive_ = openPackArchive(view, size);
        viewOwner_ = files;
        return true;
    }
    return open(files, name);
}

bool OwnedArchive::adopt(void* bytes, std::size_t size, FileSystem* owner) {
    close();
    if (!bytes)
        return false;
    bytes_ = unique_file_buffer(bytes, FileBufferFree{owner});
    archive_ = openPackArchive(bytes, size);
    return true;
}

void OwnedArchive::close() {
    archive_.reset();  // the index points into the bytes
    bytes_.reset();
    viewOwner_ = nullptr;
}

void OwnedArchive::release(const PackEntry& entry) const {
    if (viewOwner_ && archive_)
        viewOwner_->releaseMapped(archive_->base() + entry.dataOffset, entry.storedSize);
}

unique_entry OwnedArchive::extract(const wchar_t* name, std::size_t* size) const {
    if (!archive_ || !name)
        return nullptr;
    return unique_entry(extractEntry(*archive_, reinterpret_cast<const char16_t*>(name), size));
}
