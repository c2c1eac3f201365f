// SPDX-License-Identifier: GPL-3.0-or-later
// One full load as the main window runs it at start and after the dialog:
// 14 scans of Tolmu.ini, 60 of a ten-account Accounts.ini, 50 of skin.ini.
// Usage: bench_loader [RUNS]   (default 200)
#include "core/settings/Loader.h"
#include "core/settings/Settings.h"
#include "skin/file/SkinFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::string pattern = (std::filesystem::temp_directory_path() / "tolmu-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        return 1;
    const std::string dir = pattern + "/";
    std::filesystem::copy(std::string(TOLMU_SOURCE_DIR) + "/assets", dir,
                          std::filesystem::copy_options::recursive);
    SetConfigDir(dir);
    TAccountStore accounts(dir);
    for (int i = 0; i < MaxAccounts; ++i)
        accounts.Add({"account " + std::to_string(i + 1), "pop.example.org", "user", "secret", false, 110});

    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        TLoadState state;
        const auto start = std::chrono::steady_clock::now();
        LitSkinIni(state, accounts);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("full load (%d accounts, 124 file scans): median %.3f ms, max %.3f ms over %d runs\n",
                static_cast<int>(accounts.Count()), ms[ms.size() / 2], ms.back(), runs);
    std::filesystem::remove_all(dir);
    return 0;
}
