// The start at login: the entry Drossgate writes into the desktop's autostart folder.
#include "store/autostart_entry.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(AutostartEntry, WrittenQuotedReadBackAndRemoved) {
    CTempDir home;
    CScopedEnv config{"XDG_CONFIG_HOME", home.Path()};
    std::string error;
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_EQ(SetAutostart(false, "/usr/bin/drossgate", error), 1) << "nothing to remove is fine";
    EXPECT_EQ(SetAutostart(true, "relative/drossgate", error), -1);
    EXPECT_FALSE(home.Exists("autostart/drossgate.desktop"));

    // A path with a blank and a quote survives both escapes of an Exec value.
    ASSERT_EQ(SetAutostart(true, "/opt/my apps/dross\"gate", error), 1) << error;
    const std::string text = home.Read("autostart/drossgate.desktop");
    EXPECT_NE(text.find("\nExec=\"/opt/my apps/dross\\\\\"gate\"\n"), std::string::npos) << text;
    EXPECT_TRUE(text.starts_with("[Desktop Entry]\nType=Application\n"));
    EXPECT_TRUE(AutostartEnabled());
    struct stat info {};
    ASSERT_EQ(stat(home.File("autostart/drossgate.desktop").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    // Switched off by the desktop's own settings tool: not enabled.
    home.Write("autostart/drossgate.desktop", text + "Hidden=true\n");
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_EQ(SetAutostart(false, "", error), 1);
    EXPECT_FALSE(home.Exists("autostart/drossgate.desktop"));
}

} // namespace
