#ifndef DESKTOPSETTINGS_H
#define DESKTOPSETTINGS_H

#include <QtGlobal>

// What Melodrift keeps for its desktop integration, in group "Desktop" of the
// application's settings file (the player's own keys stay in their group).
// The player's settings dialog writes two of them and the desktop library
// reads them all, so their names live here, once.
namespace DesktopSettings {

// "notifications": whether a song starting unseen is announced (default on).
bool notificationsEnabled();
void setNotificationsEnabled(bool enabled);

// "keepRunningInTray": whether closing the main window leaves Melodrift
// running in the tray, where the desktop shows one (default off: closing the
// window ends the program).
bool keepRunningInTray();
void setKeepRunningInTray(bool keep);

// "volume" and "muted": what the user last set on a player, handed to the
// next ones. False when nothing has been set yet. A volume that cannot be
// read is full volume, one out of range is brought into 0 to 1, and a
// "muted" that cannot be read is false.
bool hasVolume();
qreal volume();
void setVolume(qreal volume);
bool muted();
void setMuted(bool muted);

} // namespace DesktopSettings

#endif // DESKTOPSETTINGS_H
