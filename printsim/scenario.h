// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated print server's printers: what each slot holds, how its state
// moves from one answered status request to the next, and the reply built from it.
// Everything here is a pure function of the scenario and the number of steps
// taken, so a given request sequence always sees the same replies.
#pragma once
#include "link/protocol.h"

#include <cstdint>
#include <string>
#include <vector>

namespace printsim {

// What a printer does during one phase of its timeline.
enum class PhaseKind {
    Print,     // on line; works through its queue
    Idle,      // on line and ready, but holds its queue
    Offline,   // on-line bit clear
    PaperOut,  // on line, fault, paper out
    Fault,     // on line, fault, not paper out
    Raw        // the given status byte as it is; the queue is held
};

struct Phase {
    PhaseKind kind = PhaseKind::Print;
    int steps = 1;              // how many answered requests the phase lasts (>= 1)
    std::uint8_t rawFlags = 0;  // used by PhaseKind::Raw only
};

struct Job {
    std::string user;
    std::uint8_t address[4] = {0, 0, 0, 0};
    bool sizeUnknown = false;
    std::int32_t size = 0;
};

struct PrinterScript {
    int slot = 0;                 // 0..7 (the record's index; scenario files write 1..8)
    std::string name;             // at most 64 bytes
    bool lptPort = false;         // false: bi-directional
    int step = 10;                // per cent added per answered request while printing
    int queue = 0;                // jobs waiting at the start
    int arriveEvery = 0;          // a new job joins the queue every N steps; 0: never
    std::vector<Job> jobs;        // taken in turn, round and round
    std::vector<Phase> timeline;  // repeats; empty means always printing
};

struct Scenario {
    std::vector<PrinterScript> printers;
};

constexpr int MaxQueue = 99;
constexpr std::size_t NameWidth = sizeof(PrinterRecord::printerName);
constexpr std::size_t UserWidth = sizeof(PrinterRecord::currentUser);

// The built-in demo: four printers on slots 0 to 3.
Scenario DefaultScenario();

// Parses the text format described in README.md. On failure returns false and
// sets `error` to "LINE: message" (the caller prefixes the file name).
bool ParseScenario(const std::string &text, Scenario &out, std::string &error);

// Reads and parses a file; errors read "FILE:LINE: message" or "FILE: message".
bool LoadScenarioFile(const std::string &path, Scenario &out, std::string &error);

// The running state of one printer.
struct PrinterState {
    int phase = 0;      // index into the timeline
    int phaseStep = 0;  // steps taken inside that phase
    int queue = 0;
    int jobIndex = 0;  // which of the script's jobs is at the head of the queue
    int percent = 0;
    long stepsTaken = 0;
};

class Simulation {
public:
    explicit Simulation(Scenario scenario);

    // The reply as it stands now.
    StatusReply Reply() const;
    // One answered request later.
    void Advance();

    const Scenario &GetScenario() const { return m_scenario; }
    const PrinterState &State(std::size_t i) const { return m_states[i]; }
    long Steps() const { return m_steps; }

private:
    Scenario m_scenario;
    std::vector<PrinterState> m_states;
    long m_steps = 0;
};

// The record a printer shows in a given state.
PrinterRecord BuildRecord(const PrinterScript &script, const PrinterState &state);
// The phase a printer is in, with its timeline's default.
Phase CurrentPhase(const PrinterScript &script, const PrinterState &state);

}  // namespace printsim
