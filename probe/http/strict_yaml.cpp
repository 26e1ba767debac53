// SPDX-FileCopyrightText: 2026 The USB Kestrum developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe/http/strict_yaml.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/exceptions.h>
#include <yaml-cpp/mark.h>
#include <yaml-cpp/parser.h>

#include <set>
#include <sstream>
#include <vector>

namespace kprobe {

namespace {

class StrictReader : public YAML::EventHandler {
public:
    std::string error;

    void OnDocumentStart(const YAML::Mark &) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark &mark, YAML::anchor_t anchor) override { Leaf(mark, anchor, "~"); }
    void OnAlias(const YAML::Mark &mark, YAML::anchor_t) override { Fail(mark, "an alias (*name)"); }
    void OnScalar(const YAML::Mark &mark, const std::string &, YAML::anchor_t anchor, const std::string &value) override
    {
        Leaf(mark, anchor, value);
    }
    void OnSequenceStart(const YAML::Mark &mark, const std::string &, YAML::anchor_t anchor,
                         YAML::EmitterStyle::value) override
    {
        Open(mark, anchor, false);
    }
    void OnSequenceEnd() override { Close(); }
    void OnMapStart(const YAML::Mark &mark, const std::string &, YAML::anchor_t anchor,
                    YAML::EmitterStyle::value) override
    {
        Open(mark, anchor, true);
    }
    void OnMapEnd() override { Close(); }
    void OnAnchor(const YAML::Mark &mark, const std::string &) override { Fail(mark, "an anchor (&name)"); }

private:
    struct Frame {
        bool map = false;
        bool expectKey = true;
        std::set<std::string> keys;
    };
    std::vector<Frame> m_frames;

    void Fail(const YAML::Mark &mark, const std::string &what)
    {
        if (error.empty())
            error = "line " + std::to_string(mark.line + 1) + ": " + what;
    }

    bool AtKey() const { return !m_frames.empty() && m_frames.back().map && m_frames.back().expectKey; }

    void Leaf(const YAML::Mark &mark, YAML::anchor_t anchor, const std::string &value)
    {
        if (anchor != YAML::NullAnchor)
            Fail(mark, "an anchor (&name)");
        if (AtKey()) {
            if (value == "<<")
                Fail(mark, "a merge key (<<)");
            else if (!m_frames.back().keys.insert(value).second)
                Fail(mark, "'" + value + "' given twice");
        }
        Step();
    }

    void Open(const YAML::Mark &mark, YAML::anchor_t anchor, bool map)
    {
        if (anchor != YAML::NullAnchor)
            Fail(mark, "an anchor (&name)");
        if (AtKey())
            Fail(mark, "a key that is not plain text");
        Step();
        m_frames.emplace_back();
        m_frames.back().map = map;
    }

    void Close()
    {
        if (!m_frames.empty())
            m_frames.pop_back();
    }

    // In a map, keys and values take turns.
    void Step()
    {
        if (!m_frames.empty() && m_frames.back().map)
            m_frames.back().expectKey = !m_frames.back().expectKey;
    }
};

}  // namespace

bool CheckStrictYaml(const std::string &text, std::string &error)
{
    std::istringstream in(text);
    YAML::Parser parser(in);
    StrictReader reader;
    int documents = 0;
    try {
        while (parser.HandleNextDocument(reader) && reader.error.empty())
            ++documents;
    } catch (const YAML::Exception &e) {
        error = std::string("not valid YAML: ") + e.what();
        return false;
    }
    if (reader.error.empty() && documents > 1)
        reader.error = "more than one document (---)";
    error = reader.error;
    return error.empty();
}

}  // namespace kprobe
