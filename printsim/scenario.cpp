// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "printsim/scenario.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace printsim {

namespace {

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
    using K = PhaseKind;
    auto job = [](const char *user, std::uint8_t host, std::int32_t size, bool unknown = false) {
        return Job{user, {192, 168, 1, host}, unknown, size};
    };
    const std::vector<Job> laser = {job("alice", 21, 48213), job("bob", 34, 0, true), job("carol", 57, 1250400)};
    const std::vector<Job> inkjet = {job("dave", 40, 733184), job("erin", 41, 91520)};
    const std::vector<Job> label = {job("frank", 77, 2048), job("grace", 78, 0, true)};
    const std::vector<Job> matrix = {job("heidi", 90, 16384)};
    // slot, name, LPT port, per cent a step, queued, a new job every N steps, jobs, timeline
    return Scenario{{
        {0, "Laser 1020", false, 8, 2, 20, laser, {{K::Print, 45}, {K::Offline, 10}}},
        {1, "Inkjet Pro 6", false, 5, 1, 30, inkjet, {{K::Print, 25}, {K::PaperOut, 12}, {K::Print, 30}}},
        {2, "Label Writer", true, 34, 0, 7, label, {}},
        {3, "Matrix 24", true, 3, 1, 0, matrix, {{K::Idle, 15}, {K::Print, 40}, {K::Fault, 6}}},
    }};
}

Phase CurrentPhase(const PrinterScript &script, const PrinterState &state)
{
    if (script.timeline.empty())
        return Phase{};
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
