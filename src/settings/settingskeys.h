#pragma once

// Names of the entries of "main.cfg", shared with the companion programs.
namespace jw::settingskeys {

inline constexpr char kFileName[] = "main.cfg";

inline constexpr char kServerPort[] = "server_port";
inline constexpr char kMyPin[] = "my_pin";
inline constexpr char kAcceptedSpamLevel[] = "accepted_spam_level";
inline constexpr char kMaxTo[] = "maxto";
inline constexpr char kWhatWithSpam[] = "what_with_spam";
inline constexpr char kAutoRemoveSpam[] = "auto_remove_spam";
inline constexpr char kAutoRemoveSpamTime[] = "auto_remove_spam_time";
inline constexpr char kUpdate[] = "update";
inline constexpr char kUpdateVersion[] = "update_version";
inline constexpr char kLastTabSeen[] = "last_tab_seen";
// "1" once the user was told that the desktop shows no tray icons.
inline constexpr char kTrayHintShown[] = "tray_hint_shown";
// The name server the filter asks (an address); the system's when empty.
inline constexpr char kDnsServer[] = "dns_server";
// A PEM file of certificate authorities the proxy trusts besides the
// system's (a mail server with its own authority).
inline constexpr char kTlsCaFile[] = "tls_ca_file";

} // namespace jw::settingskeys
