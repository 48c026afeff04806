#include "ut3/interpret.h"

#include "ut3/text.h"

#include "common/number.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace ut3 {

namespace {

// UT3's names for its settings (s...) and properties (p...).
namespace key {
constexpr std::string_view hostName = "hostname";
constexpr std::string_view owningPlayer = "OwningPlayerName";
constexpr std::string_view numPlayers = "numplayers";
constexpr std::string_view maxPlayers = "maxplayers";
constexpr std::string_view map = "p1073741825";
constexpr std::string_view gameClass = "p1073741826";
constexpr std::string_view description = "p1073741827";
constexpr std::string_view mutators = "p1073741828";
constexpr std::string_view gameMode = "s32779";
constexpr std::string_view goalScore = "p268435704";
constexpr std::string_view timeLimit = "p268435705";
constexpr std::string_view bots = "p268435703";
constexpr std::string_view botSkill = "s0";
constexpr std::string_view locked = "s7";
constexpr std::string_view pure = "s6";
constexpr std::string_view standardMutators = "p268435717";
}

constexpr std::array<std::string_view, 10> gameModes = {
    "Deathmatch", "Capture the Flag", "Warfare", "Vehicle CTF", "Team Deathmatch",
    "Duel", "Custom", "Campaign", "Greed", "Betrayal"};

constexpr std::array<std::string_view, 9> botSkills = {
    "Automatic", "Novice", "Average", "Experienced", "Skilled", "Adept", "Masterful", "Inhuman", "Godlike"};

constexpr std::pair<unsigned long long, std::string_view> standardMutatorBits[] = {
    {1, "Big Head"}, {2, "Friendly Fire"}, {4, "Handicap"}, {8, "Instagib"},
    {16, "Low Gravity"}, {64, "No Power-ups"}, {128, "No Translocator"}, {256, "Slow Motion"},
    {1024, "Speed Freak"}, {2048, "Super Berserk"}, {8192, "Weapon Replacement"}, {16384, "Weapons Respawn"}};

// UT3 has at most 64 players; a count beyond this is a hostile or broken
// server's, reported as absent rather than carried into sums and scales.
constexpr long long maxCount = 4096;

// Custom mutator lists separate their items with this byte.
constexpr char listSeparator = 0x1C;

std::optional<bool> flag(std::optional<long long> number)
{
    if (!number)
        return std::nullopt;
    return *number != 0;
}

class Keys final {
public:
    explicit Keys(const RawReply &reply) : m_keys(reply.keys) {}

    // The first value sent for the key.
    std::optional<std::string_view> raw(std::string_view name) const
    {
        const auto it = std::find_if(m_keys.begin(), m_keys.end(), [&](const auto &kv) { return kv.first == name; });
        if (it == m_keys.end())
            return std::nullopt;
        return std::string_view(it->second);
    }
    std::string text(std::string_view name) const { return decodeServerString(raw(name).value_or("")); }
    std::optional<long long> number(std::string_view name) const
    {
        const auto value = raw(name);
        return value ? common::wholeNumber<long long>(*value) : std::nullopt;
    }
    std::optional<long long> count(std::string_view name) const
    {
        const auto value = raw(name);
        return value ? common::wholeNumber<long long>(*value, 0, maxCount) : std::nullopt;
    }

private:
    const std::vector<std::pair<std::string_view, std::string_view>> &m_keys;
};

std::vector<std::string> splitList(std::string_view raw)
{
    std::vector<std::string> items;
    while (!raw.empty()) {
        const std::size_t end = std::min(raw.find(listSeparator), raw.size());
        if (end > 0)
            items.push_back(decodeServerString(raw.substr(0, end)));
        raw.remove_prefix(std::min(end + 1, raw.size()));
    }
    return items;
}

std::vector<std::string> standardMutatorNames(unsigned long long mask)
{
    std::vector<std::string> names;
    for (const auto &[bit, name] : standardMutatorBits) {
        if (mask & bit) {
            names.emplace_back(name);
            mask &= ~bit;
        }
    }
    if (mask != 0)
        names.push_back(std::to_string(mask));
    return names;
}

ServerInfo serverInfo(const RawReply &reply)
{
    const Keys keys(reply);
    ServerInfo info;
    info.name = keys.text(keys.raw(key::hostName).value_or("").empty() ? key::owningPlayer : key::hostName);
    info.map = keys.text(key::map);
    info.gameClass = keys.text(key::gameClass);
    const auto mode = keys.number(key::gameMode);
    info.gameMode = mode && *mode >= 0 && *mode < static_cast<long long>(gameModes.size()) ? std::string(gameModes[*mode]) : info.gameClass;
    info.description = keys.text(key::description);
    info.numPlayers = keys.count(key::numPlayers);
    info.maxPlayers = keys.count(key::maxPlayers);
    info.bots = keys.count(key::bots);
    info.goalScore = keys.number(key::goalScore);
    info.timeLimit = keys.number(key::timeLimit);
    if (const auto skill = keys.number(key::botSkill))
        info.botSkill = *skill >= 0 && *skill < static_cast<long long>(botSkills.size()) ? std::string(botSkills[*skill]) : std::to_string(*skill);
    info.locked = flag(keys.number(key::locked));
    info.pure = flag(keys.number(key::pure));
    info.mutators = splitList(keys.raw(key::mutators).value_or(""));
    if (const auto mask = keys.number(key::standardMutators); mask && *mask > 0)
        info.standardMutators = standardMutatorNames(static_cast<unsigned long long>(*mask));
    for (const auto &[name, value] : reply.keys)
        info.rules.emplace_back(decodeServerString(name), decodeServerString(value));
    return info;
}

const RawReply::Field *findField(const std::vector<RawReply::Field> &fields, std::string_view name)
{
    const auto it = std::find_if(fields.begin(), fields.end(), [&](const auto &f) { return f.name == name; });
    return it == fields.end() ? nullptr : &*it;
}

std::size_t rowCount(const std::vector<RawReply::Field> &fields)
{
    std::size_t rows = 0;
    for (const auto &field : fields)
        rows = std::max(rows, field.rows.size());
    return rows;
}

std::optional<std::string_view> cell(const RawReply::Field *field, std::size_t row)
{
    if (!field || row >= field->rows.size() || !field->rows[row])
        return std::nullopt;
    return std::string_view(*field->rows[row]);
}

std::optional<long long> numberCell(const RawReply::Field *field, std::size_t row)
{
    const auto text = cell(field, row);
    return text ? common::wholeNumber<long long>(*text) : std::nullopt;
}

std::vector<Player> players(const RawReply &reply)
{
    const auto *name = findField(reply.players, "player_");
    const auto *score = findField(reply.players, "score_");
    const auto *deaths = findField(reply.players, "deaths_");
    const auto *ping = findField(reply.players, "ping_");
    const auto *team = findField(reply.players, "team_");
    std::vector<Player> out(rowCount(reply.players));
    for (std::size_t row = 0; row < out.size(); ++row) {
        out[row] = {decodeServerString(cell(name, row).value_or("")), numberCell(score, row),
                    numberCell(deaths, row), numberCell(ping, row), numberCell(team, row)};
    }
    return out;
}

std::vector<Team> teams(const RawReply &reply)
{
    const auto *name = findField(reply.teams, "team_t");
    const auto *score = findField(reply.teams, "score_t");
    std::vector<Team> out(rowCount(reply.teams));
    for (std::size_t row = 0; row < out.size(); ++row)
        out[row] = {decodeServerString(cell(name, row).value_or("")), numberCell(score, row)};
    return out;
}

}

ServerStatus interpret(const RawReply &reply, bool complete)
{
    return {serverInfo(reply), players(reply), teams(reply), complete};
}

}
