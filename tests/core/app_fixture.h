#pragma once
// A CFilterApp on a private data directory with its own registry file.
#include "app/core/filter_app.h"
#include "temp_dir.h"

#include <memory>

class CAppFixture {
  public:
    explicit CAppFixture(const std::string& settings = "[SETTINGS]\r\n",
                         const std::string& language = "")
        : registry_("DROSSGATE_REGISTRY", dir.File("registry.ini")) {
        dir.Write(
            "registry.ini",
            RegistryText(dir.Path(), language.empty() ? "" : "Language=" + language + "\r\n"));
        dir.Write("Settings.ini", settings);
        app = std::make_unique<CFilterApp>();
    }
    bool Start() { return app->InitInstance(); }

    CTempDir dir;
    std::unique_ptr<CFilterApp> app;

  private:
    CScopedEnv registry_;
};
