#include <gtest/gtest.h>

#include "daemon/StartUpLine.h"

namespace kestrom {
namespace {

TEST(StartUpLine, TellsVersionPortCharacterModeFoldersAndSecurity) {
    CKestromSettings s;
    s.CharMode = 1;
    s.EventDirectory = u"/srv/k\u00e9strom";
    s.ResultsDirectory = u"/srv/kestrom/results";
    s.SecurityEnabled = true;
    EXPECT_EQ(StartUpLine(s, 1950, true),
              "kestromd (Kestrom) 3.23: listening on port 1950, character mode 1, event folder "
              "/srv/k\xc3\xa9strom, results folder /srv/kestrom/results, security on");
    s.SecurityEnabled = false;
    s.CharMode = 0;
    EXPECT_EQ(StartUpLine(s, 2000, false),
              "kestromd (Kestrom) 3.23: not listening on port 2000, character mode 0, event "
              "folder /srv/k\xc3\xa9strom, results folder /srv/kestrom/results, security off");
}

}  // namespace
}  // namespace kestrom
