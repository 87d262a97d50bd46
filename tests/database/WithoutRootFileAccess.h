#pragma once

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// The tests run as root, which passes every permission check. For its scope this takes that away
// from the calling thread (the stores run on it in these tests), so a read-only folder or another
// user's private file refuses the store as it refuses a reader.
class WithoutRootFileAccess
{
public:
    WithoutRootFileAccess() { grant(false); }
    ~WithoutRootFileAccess() { grant(true); }
    WithoutRootFileAccess(const WithoutRootFileAccess&) = delete;
    WithoutRootFileAccess& operator=(const WithoutRootFileAccess&) = delete;

private:
    static void grant(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        ASSERT_EQ(syscall(SYS_capget, &header, caps), 0);
        const uint32_t bits = 1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH | 1u << CAP_FOWNER;
        caps[0].effective = on ? caps[0].effective | (bits & caps[0].permitted) : caps[0].effective & ~bits;
        ASSERT_EQ(syscall(SYS_capset, &header, caps), 0);
    }
};
