// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/scenario.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace printsim {

namespace {

Job MakeJob(const char *user, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, std::int32_t size,
            bool unknown = false)
{
    Job j;
    j.user = user;
    j.address[0] = a;
    j.address[1] = b;
    j.address[2] = c;
    j.address[3] = d;
    j.size = size;
    j.sizeUnknown = unknown;
    return j;
}

Phase MakePhase(PhaseKind kind, int steps)
{
    Phase p;
    p.kind = kind;
    p.steps = steps;
    return p;
}

// Copies at most `width` bytes; a text that fills the field has no zero byte,
// as the record allows.
void CopyField(char *field, std::size_t width, const std::string &text)
{
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

}  // namespace

Scenario DefaultScenario()
{
    Scenario s;

    PrinterScript laser;
    laser.slot = 0;
    laser.name = "Laser 1020";
    laser.step = 8;
    laser.queue = 2;
    laser.arriveEvery = 20;
    laser.jobs = {MakeJob("alice", 192, 168, 1, 21, 48213), MakeJob("bob", 192, 168, 1, 34, 0, true),
                  MakeJob("carol", 192, 168, 1, 57, 1250400)};
    laser.timeline = {MakePhase(PhaseKind::Print, 45), MakePhase(PhaseKind::Offline, 10)};
    s.printers.push_back(laser);

    PrinterScript inkjet;
    inkjet.slot = 1;
    inkjet.name = "Inkjet Pro 6";
    inkjet.step = 5;
    inkjet.queue = 1;
    inkjet.arriveEvery = 30;
    inkjet.jobs = {MakeJob("dave", 192, 168, 1, 40, 733184), MakeJob("erin", 192, 168, 1, 41, 91520)};
    inkjet.timeline = {MakePhase(PhaseKind::Print, 25), MakePhase(PhaseKind::PaperOut, 12),
                       MakePhase(PhaseKind::Print, 30)};
    s.printers.push_back(inkjet);

    PrinterScript label;
    label.slot = 2;
    label.name = "Label Writer";
    label.lptPort = true;
    label.step = 34;
    label.arriveEvery = 7;
    label.jobs = {MakeJob("frank", 192, 168, 1, 77, 2048), MakeJob("grace", 192, 168, 1, 78, 0, true)};
    s.printers.push_back(label);

    PrinterScript matrix;
    matrix.slot = 3;
    matrix.name = "Matrix 24";
    matrix.lptPort = true;
    matrix.step = 3;
    matrix.queue = 1;
    matrix.jobs = {MakeJob("heidi", 192, 168, 1, 90, 16384)};
    matrix.timeline = {MakePhase(PhaseKind::Idle, 15), MakePhase(PhaseKind::Print, 40), MakePhase(PhaseKind::Fault, 6)};
    s.printers.push_back(matrix);

    return s;
}

Phase CurrentPhase(const PrinterScript &script, const PrinterState &state)
{
    if (script.timeline.empty())
        return MakePhase(PhaseKind::Print, 1);
    return script.timeline[static_cast<std::size_t>(state.phase) % script.timeline.size()];
}

PrinterRecord BuildRecord(const PrinterScript &script, const PrinterState &state)
{
    PrinterRecord r;
    std::memset(&r, 0, sizeof r);
    CopyField(r.printerName, sizeof r.printerName, script.name);
    r.portType = script.lptPort ? 1 : 0;
    r.jobCount = state.queue;

    const bool hasJob = state.queue > 0;
    if (hasJob && !script.jobs.empty()) {
        const Job &job = script.jobs[static_cast<std::size_t>(state.jobIndex) % script.jobs.size()];
        CopyField(r.currentUser, sizeof r.currentUser, job.user);
        std::memcpy(r.userAddress, job.address, sizeof r.userAddress);
        r.docSize = job.sizeUnknown ? 0 : job.size;
        r.docSizeUnknown = job.sizeUnknown ? 1 : 0;
    }
    if (hasJob)
        r.printedPercent = state.percent;

    const Phase phase = CurrentPhase(script, state);
    switch (phase.kind) {
    case PhaseKind::Print: r.statusFlags = StatusOnLine | StatusNoFault | (hasJob ? StatusBusy : 0); break;
    case PhaseKind::Idle: r.statusFlags = StatusOnLine | StatusNoFault; break;
    case PhaseKind::Offline: r.statusFlags = 0; break;
    case PhaseKind::PaperOut: r.statusFlags = StatusOnLine | StatusPaperOut; break;
    case PhaseKind::Fault: r.statusFlags = StatusOnLine; break;
    case PhaseKind::Raw: r.statusFlags = phase.rawFlags; break;
    }
    return r;
}

Simulation::Simulation(Scenario scenario) : m_scenario(std::move(scenario))
{
    m_states.resize(m_scenario.printers.size());
    for (std::size_t i = 0; i < m_states.size(); ++i)
        m_states[i].queue = std::min(m_scenario.printers[i].queue, MaxQueue);
}

StatusReply Simulation::Reply() const
{
    StatusReply reply;
    std::memset(&reply, 0, sizeof reply);
    for (std::size_t i = 0; i < m_states.size(); ++i) {
        const PrinterScript &p = m_scenario.printers[i];
        if (p.slot >= 0 && static_cast<std::size_t>(p.slot) < PrinterSlots)
            reply.records[p.slot] = BuildRecord(p, m_states[i]);
    }
    return reply;
}

void Simulation::Advance()
{
    for (std::size_t i = 0; i < m_states.size(); ++i) {
        const PrinterScript &p = m_scenario.printers[i];
        PrinterState &s = m_states[i];

        // Progress first, in the phase the last reply showed; a finished job is
        // shown at 100 % once before the next one starts at 0.
        if (CurrentPhase(p, s).kind == PhaseKind::Print && s.queue > 0) {
            if (s.percent >= 100) {
                --s.queue;
                ++s.jobIndex;
                if (!p.jobs.empty())
                    s.jobIndex %= static_cast<int>(p.jobs.size());
                s.percent = 0;
            } else {
                s.percent = std::min(100, s.percent + std::max(1, p.step));
            }
        }

        ++s.stepsTaken;
        if (p.arriveEvery > 0 && s.stepsTaken % p.arriveEvery == 0 && s.queue < MaxQueue)
            ++s.queue;

        if (!p.timeline.empty()) {
            ++s.phaseStep;
            const std::size_t n = p.timeline.size();
            if (s.phaseStep >= p.timeline[static_cast<std::size_t>(s.phase) % n].steps) {
                s.phase = static_cast<int>((static_cast<std::size_t>(s.phase) + 1) % n);
                s.phaseStep = 0;
            }
        }
    }
    ++m_steps;
}

}  // namespace printsim
