#pragma once
// The sheet protection dialogs: an optional password when protecting, the
// password when unprotecting. Checking it is the caller's.

#include <optional>
#include <string>

namespace dialogs {

/// The verifier reads at most this many characters; the edit takes no more.
inline constexpr int kMaxPasswordLength = 255;

/// The password to protect with (empty for none); nothing when cancelled.
std::optional<std::u16string> askProtectPassword();
/// The password typed to unprotect; nothing when cancelled.
std::optional<std::u16string> askUnprotectPassword();

} // namespace dialogs
