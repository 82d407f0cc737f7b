// fault_fixture.cpp - see fault_fixture.h.
#include "fault_fixture.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {
const char kFiller[] = "/.filler";
}

SmallFileSystem::SmallFileSystem(const std::string& path, long size) : path_(path) {
    mkdir(path.c_str(), 0777);
    const std::string options = "size=" + std::to_string(size);
    mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
}

bool SmallFileSystem::LeaveFree(long bytes) {
    if (!mounted_) return false;
    const std::string filler = path_ + kFiller;
    int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    std::vector<char> block(64 * 1024, 'f');
    long written = 0;
    for (;;) {
        ssize_t n = write(fd, block.data(), block.size());
        if (n <= 0) break;
        written += n;
    }
    const bool full = errno == ENOSPC;
    const bool ok = full && written >= bytes && ftruncate(fd, written - bytes) == 0;
    close(fd);
    return ok;
}

void SmallFileSystem::Unfill() { unlink((path_ + kFiller).c_str()); }

bool SmallFileSystem::MakeReadOnly(bool readOnly) {
    return mounted_ && mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
}

namespace {
const unsigned kOverrides = 1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH | 1u << CAP_FOWNER;

bool EffectiveCaps(__user_cap_data_struct data[2], bool set) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};   // 0: this thread
    return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}
}  // namespace

NoPermissionOverride::NoPermissionOverride() {
    __user_cap_data_struct data[2] = {};
    if (!EffectiveCaps(data, false) || !(data[0].effective & kOverrides)) return;
    // access() checks root with its permitted rights unless this bit is set: without it a
    // read-only file would still look writable to the program.
    oldBits_ = prctl(PR_GET_SECUREBITS);
    if (oldBits_ < 0 || prctl(PR_SET_SECUREBITS, oldBits_ | SECBIT_NO_SETUID_FIXUP) != 0) return;
    data[0].effective &= ~kOverrides;
    dropped_ = EffectiveCaps(data, true);
}

NoPermissionOverride::~NoPermissionOverride() {
    if (!dropped_) return;
    __user_cap_data_struct data[2] = {};
    if (!EffectiveCaps(data, false)) return;
    data[0].effective |= kOverrides & data[0].permitted;
    EffectiveCaps(data, true);
    prctl(PR_SET_SECUREBITS, oldBits_);
}
