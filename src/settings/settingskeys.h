#pragma once

#include <QByteArrayView>

#include <array>

// The entries of "main.cfg", shared with the companion programs: each key's
// name, what its value is, the values the program uses and what a missing,
// empty or unusable value means.
namespace jw {

struct SettingKey
{
    enum class Kind { Text, Number, Flag, Choice };
    const char *name;
    Kind kind = Kind::Text;
    // Numbers: the values the program uses. The proxy, which reads quietly,
    // takes a value outside them, an empty one or one that is not a number
    // as `fallback`; the settings page reports a value that is not a number
    // and shows others within the range.
    int low = 0;
    int high = 0;
    // What a missing, empty or unusable value means to the proxy.
    const char *fallback = "";
    // Choices: the words in the order the page lists them.
    std::array<const char *, 4> words = {};

    // The fallback of a number or flag.
    constexpr int fallbackNumber() const
    {
        int n = 0;
        for (const char *digit = fallback; *digit; ++digit)
            n = n * 10 + (*digit - '0');
        return n;
    }
    // Looked up in a key/value file by its name.
    constexpr operator QByteArrayView() const
    {
        return QByteArrayView(name, qsizetype(std::char_traits<char>::length(name)));
    }
};

namespace settingskeys {

inline constexpr char kFileName[] = "main.cfg";

using Kind = SettingKey::Kind;

// The port on which the proxy takes the mail programs' connections, and
// that routed accounts are given; 0, no usable port, when missing.
inline constexpr SettingKey kServerPort{"server_port", Kind::Number, 1, 65535, "0"};
// The user's PIN; four digits when the window makes it up.
inline constexpr SettingKey kMyPin{"my_pin"};
// A message whose spam level is above it is spam.
inline constexpr SettingKey kAcceptedSpamLevel{"accepted_spam_level", Kind::Number, 1, 15, "1"};
// The most recipients a message's To may name.
inline constexpr SettingKey kMaxTo{"maxto", Kind::Number, 0, 999, "20"};
inline constexpr SettingKey kWhatWithSpam{
    "what_with_spam", Kind::Choice, 0, 0, "quarantine", {"quarantine", "drop", "lowprio", "nothing"}};
// The mail check on the timer: on when a number above 0.
inline constexpr SettingKey kAutoRemoveSpam{"auto_remove_spam", Kind::Flag, 0, 1, "0"};
// Its period in minutes; 0 never runs it.
inline constexpr SettingKey kAutoRemoveSpamTime{"auto_remove_spam_time", Kind::Number, 1, 100, "0"};
inline constexpr SettingKey kUpdate{"update", Kind::Choice, 0, 0, "", {"none", "daily", "weekly", "monthly"}};
// The version the last finished update reported.
inline constexpr SettingKey kUpdateVersion{"update_version"};
// The configuration window's page when it was last closed.
inline constexpr SettingKey kLastTabSeen{"last_tab_seen", Kind::Number, 0, 4, "0"};
// The heights of the quarantine page's list and preview as the user left
// them ("list,preview"); their proportion is kept.
inline constexpr SettingKey kQuarantineSplit{"quarantine_split"};
// "1" once the user was told that the desktop shows no tray icons.
inline constexpr SettingKey kTrayHintShown{"tray_hint_shown", Kind::Flag, 0, 1, "0"};
// The name server the filter asks (an address); the system's when empty.
inline constexpr SettingKey kDnsServer{"dns_server"};
// A PEM file of certificate authorities the proxy trusts besides the
// system's (a mail server with its own authority).
inline constexpr SettingKey kTlsCaFile{"tls_ca_file"};

inline constexpr std::array kAll{&kServerPort, &kMyPin, &kAcceptedSpamLevel, &kMaxTo, &kWhatWithSpam, &kAutoRemoveSpam,
    &kAutoRemoveSpamTime, &kUpdate, &kUpdateVersion, &kLastTabSeen, &kQuarantineSplit, &kTrayHintShown, &kDnsServer,
    &kTlsCaFile};

} // namespace settingskeys
} // namespace jw
