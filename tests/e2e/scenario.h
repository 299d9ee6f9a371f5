#pragma once
#include <filesystem>
#include <functional>
#include <string>

namespace quorvane::e2e {

// What every scenario gets: the program to start and a fresh folder of its own.
struct ScenarioContext {
    std::wstring exe;
    std::filesystem::path folder;
};

struct Scenario {
    const char* name;
    std::function<void(const ScenarioContext&)> run;
};

// Registered at static initialisation by each scenario file.
struct ScenarioRegistration {
    ScenarioRegistration(const char* name, std::function<void(const ScenarioContext&)> run);
};

#define QV_SCENARIO(name)                                                                           \
    static void Scenario_##name(const ::quorvane::e2e::ScenarioContext& ctx);                       \
    static const ::quorvane::e2e::ScenarioRegistration registration_##name(#name, Scenario_##name); \
    static void Scenario_##name(const ::quorvane::e2e::ScenarioContext& ctx)

}  // namespace quorvane::e2e
