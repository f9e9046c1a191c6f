// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace huecast::test
{

/// A fresh folder under the test's temporary directory, removed with its contents at the end.
class TempDir
{
public:
    TempDir() : m_path(testing::TempDir() + "huecast-XXXXXX")
    {
        if (::mkdtemp(m_path.data()) == nullptr)
        {
            throw std::runtime_error("mkdtemp failed for " + m_path);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] std::string pathOf(std::string_view name) const
    {
        return m_path + "/" + std::string(name);
    }
    /// Writes the bytes to a file of that name in the folder and returns its path.
    std::string write(std::string_view name, std::string_view contents) const
    {
        const std::string path = pathOf(name);
        std::ofstream(path, std::ios::binary)
            .write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return path;
    }

private:
    std::string m_path;
};

/// Sets (or, given nullopt, unsets) an environment variable and restores it at the end.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
        {
            m_old = old;
        }
        set(value);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { set(m_old); }

private:
    void set(const std::optional<std::string>& value) const
    {
        value ? ::setenv(m_name.c_str(), value->c_str(), 1) : ::unsetenv(m_name.c_str());
    }

    std::string m_name;
    std::optional<std::string> m_old;
};

/// The whole contents of a file; empty when it can't be read.
inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The names in the folder, sorted.
inline std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// Names each case of a parameterised test after its `name` member.
struct NameOfCase
{
    template <typename Case>
    std::string operator()(const testing::TestParamInfo<Case>& testCase) const
    {
        return testCase.param.name;
    }
};

} // namespace huecast::test
