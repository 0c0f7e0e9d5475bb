#pragma once
// A temporary tree of resource files, mounted at "/" for the lifetime of the
// object and removed afterwards. It can also pack itself into a .zip archive
// (stored, uncompressed) to test archive mounts.
#include <string>

namespace testsupport {

class ResourceTree {
public:
    // mount: mount the directory at "/" at once (it begins with an empty
    // "/Configs/Sounds" folder, which makes it content).
    explicit ResourceTree(bool mount = true);
    ~ResourceTree();
    ResourceTree(const ResourceTree&) = delete;
    ResourceTree& operator=(const ResourceTree&) = delete;

    // Writes a file at a resource path such as "/Configs/Sounds/Effects.snd".
    void write(const std::string& resourcePath, const std::string& content);
    void makeDirectory(const std::string& resourcePath);
    void remove(const std::string& resourcePath);
    // The real file system path of the tree's root, or of a resource.
    const std::string& root() const { return directory; }
    std::string pathOf(const std::string& resourcePath) const;
    // Packs every file of the tree into a .zip archive at archivePath.
    void packZip(const std::string& archivePath) const;

private:
    std::string directory;
    bool mounted = false;
};

// A fresh empty directory for a test's own files, removed afterwards.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    const std::string& path() const { return directory; }
    std::string file(const std::string& name) const { return directory + "/" + name; }

private:
    std::string directory;
};

std::string readWholeFile(const std::string& path);

// Sets (or with a null value removes) an environment variable of the test
// process, on either system.
void setEnvironment(const char* name, const char* value);

}  // namespace testsupport
