#include "signer/files/file_identity.h"

#include <windows.h>

#include <vector>

#include "platform/owner.h"

namespace {

struct TIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool Known() const { return indexHigh != 0 || indexLow != 0; }
    bool operator==(const TIdentity& other) const
    {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};

// Opened for no data access: nothing is read, a device's open does not
// wait for it, and no other opener's sharing mode is in the way.
HANDLE OpenForQuery(const std::string& path)
{
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// What the path opens, and the identity of a file or folder; an identity
// without an index tells nothing and is left out.
PathKind OpenedKind(const std::string& path, TIdentity* identity = nullptr)
{
    if (path.empty()) return PathKind::Missing;
    const HANDLE raw = OpenForQuery(path);
    if (raw == INVALID_HANDLE_VALUE) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::Other;
    }
    const TKernelObject handle(raw);
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(raw) != FILE_TYPE_DISK || !GetFileInformationByHandle(raw, &information)) return PathKind::Other;
    if (identity && (information.nFileIndexHigh != 0 || information.nFileIndexLow != 0)) {
        identity->volume = information.dwVolumeSerialNumber;
        identity->indexHigh = information.nFileIndexHigh;
        identity->indexLow = information.nFileIndexLow;
    }
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::RegularFile;
}

bool IdentityOf(const std::string& path, PathKind kind, TIdentity& identity)
{
    identity = TIdentity();
    return OpenedKind(path, &identity) == kind && identity.Known();
}

// The full path and the offset of its last name, 0 when it ends in a
// separator; false when the path cannot be made a full one.
bool FullPathOf(const std::string& path, std::string& full, std::size_t& lastName)
{
    DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::vector<char> buffer(needed + 1);
    char* name = nullptr;
    DWORD written = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &name);
    if (written == 0 || written >= buffer.size()) return false;
    full.assign(buffer.data(), written);
    lastName = name ? static_cast<std::size_t>(name - buffer.data()) : 0;
    return true;
}

bool SameFullPath(const std::string& first, const std::string& second)
{
    std::string a, b;
    std::size_t unused = 0;
    if (!FullPathOf(first, a, unused)) a = first;
    if (!FullPathOf(second, b, unused)) b = second;
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A path that opens no file, as the folder it would be made in and its
// name there. The name keeps trailing dots and blanks only after "\\?\",
// where the platform keeps them too.
bool FolderAndName(const std::string& path, TIdentity& folder, std::string& name)
{
    std::string full;
    std::size_t lastName = 0;
    if (!FullPathOf(path, full, lastName) || lastName == 0 || lastName >= full.size()) return false;
    name = full.substr(lastName);
    if (full.compare(0, 4, "\\\\?\\") != 0) {
        const std::size_t kept = name.find_last_not_of(". ");
        name.erase(kept == std::string::npos ? 0 : kept + 1);
    }
    return !name.empty() && IdentityOf(full.substr(0, lastName), PathKind::Folder, folder);
}

}  // namespace

PathKind KindOfPath(const std::string& path)
{
    return OpenedKind(path);
}

bool IsRegularFile(const std::string& path)
{
    return OpenedKind(path) == PathKind::RegularFile;
}

bool NameOneFile(const std::string& first, const std::string& second)
{
    if (first.empty() || second.empty()) return false;
    if (SameFullPath(first, second)) return true;
    TIdentity a, b;
    const bool firstOpens = IdentityOf(first, PathKind::RegularFile, a);
    const bool secondOpens = IdentityOf(second, PathKind::RegularFile, b);
    if (firstOpens && secondOpens) return a == b;
    if (firstOpens || secondOpens) return false;
    // Neither is there yet: one entry of one folder, however it is spelt.
    std::string nameA, nameB;
    return FolderAndName(first, a, nameA) && FolderAndName(second, b, nameB) && a == b &&
           lstrcmpiA(nameA.c_str(), nameB.c_str()) == 0;
}
