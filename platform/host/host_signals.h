// host_signals.h - Ctrl+C and SIGTERM end the game at once through Quit (no
// exit picture), so the scores are saved; should the game not end, a second
// one stops the process as usual.
// Depends on: platform/host/host_devices.h (HostDevices_RequestQuit).
#pragma once

void HostSignals_RouteToQuit();
