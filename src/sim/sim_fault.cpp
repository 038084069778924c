#include "sim/sim_options.h"

#include <array>
#include <charconv>
#include <utility>

namespace tolvane {
namespace {

constexpr std::array<std::pair<SimFaultKind, std::string_view>, 6> kFaultNames{{
    {SimFaultKind::NoAnswer, "no-answer"},
    {SimFaultKind::WrongAnswer, "wrong-answer"},
    {SimFaultKind::ShortReply, "short-reply"},
    {SimFaultKind::ExtraByte, "extra-byte"},
    {SimFaultKind::Noise, "noise"},
    {SimFaultKind::Vanish, "vanish"},
}};

}  // namespace

std::string_view SimFaultName(SimFaultKind kind) {
  for (const auto& [k, name] : kFaultNames)
    if (k == kind) return name;
  return {};
}

std::optional<SimFault> ParseSimFault(std::string_view text) {
  const size_t at = text.find('@');
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view name = text.substr(0, at);
  const std::string_view number = text.substr(at + 1);
  SimFault fault;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), fault.AtCommand);
  if (ec != std::errc() || end != number.data() + number.size() || fault.AtCommand < 1) return std::nullopt;
  for (const auto& [kind, known] : kFaultNames) {
    if (known == name) {
      fault.Kind = kind;
      return fault;
    }
  }
  return std::nullopt;
}

}  // namespace tolvane
