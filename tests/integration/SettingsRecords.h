#pragma once

#include "settings/ConfigRecord.h"

namespace vindel::test {

// Two records that differ in every field and in stored length, for the test
// that kills a process in the middle of saving them.
inline settings::ConfigRecord settingsRecordA()
{
    return {"/usr/bin/mail-a", "alice", "pw-a", "127.0.0.1:1110", 5, 100, 200, true, "/a.wav", false};
}

inline settings::ConfigRecord settingsRecordB()
{
    return {"/opt/mailer b/bin/mailer --compose",
            "bob.longer.name",
            "another pass;word=x",
            "mail.example.test:8110",
            99,
            -3000,
            4500,
            false,
            "/home/bob/sounds/new mail.wav",
            true};
}

} // namespace vindel::test
