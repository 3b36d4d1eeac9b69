// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/CommSettings.h"

#include "base/Errors.h"
#include "link/NetPort.h"
#include "link/PortNames.h"
#include "link/SerCom.h"

namespace kolvex {

namespace {

void InstallDefaultList(TSerCom& port) {
    bool anyReal = false;
    for (const auto& p : port.PortList)
        if (!SamePortName(p.Name, kSimulatedPort)) anyReal = true;
    if (anyReal) return;
    std::vector<PortEntry> list;
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"}) list.push_back({name, *DeviceForPort(name), ""});
    for (const auto& p : port.PortList) list.push_back(p);  // keep "SIM" last
    port.PortList = std::move(list);
}

void WriteLineValues(TSerCom& port, const std::string& name, std::int32_t idleMs, std::int32_t slotMs) {
    port.LoggerAddress = 255;
    port.PortName = name;
    port.BaudRate = 9600;
    port.IdleTime = static_cast<std::uint32_t>(idleMs < 0 ? 0 : idleMs) * 1000u;
    port.ReplyTimeout = static_cast<std::uint32_t>(slotMs < 0 ? 0 : slotMs) * 1000u;
    port.GapTimeout = 50000;
    port.Parity = 0;
    port.LineControl = 4;
    port.Tries = 3;
    port.ErrorCount = 0;
    port.Busy = false;
}

}  // namespace

std::string StoredPortName(const std::string& name) {
    return IsDevicePath(name) ? name : name.substr(0, kMaxPortNameLength);
}

void ApplyCommDefaults(TSerCom& port, CommSettings& settings) {
    port.EnumeratePorts();
    settings.BusAddress = 255;
    settings.ComPort = port.PortList.empty() ? std::string() : StoredPortName(port.PortList.front().Name);
    settings.TIdle = 20;
    settings.TSlot = 100;
}

void ApplyCommSettings(TSerCom& port, CommSettings& settings) {
    port.EnumeratePorts();
    InstallDefaultList(port);
    // A device path is not looked up: opening it tells what is wrong with it.
    bool found = IsDevicePath(settings.ComPort);
    for (const auto& p : port.PortList)
        if (SamePortName(p.Name, settings.ComPort)) found = true;
    // A network port is no entry of the list and keeps its whole name.
    const bool network = IsNetworkPort(settings.ComPort);
    if (!found && !network) {
        // The same text in both languages.
        throw ESetPC("Program nenalezl seriový port    " + settings.ComPort +
                     "\r\n\r\nVyberte port v menu \"Nastavení / Počitač\"");
    }
    settings.BusAddress = 255;
    WriteLineValues(port, StoredPortName(settings.ComPort), settings.TIdle, settings.TSlot);
    port.Open();
}

void OpenPortDirect(TSerCom& port, const std::string& name, std::int32_t idleMs, std::int32_t slotMs) {
    WriteLineValues(port, name, idleMs, slotMs);
    port.Open();
}

}  // namespace kolvex
