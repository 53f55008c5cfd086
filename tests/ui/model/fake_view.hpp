#pragma once

// A view without a toolkit: keeps what the model sets on its controls as a window would, logs
// the calls that matter to the order of the grid build, of Select and of type selection, and
// records the warnings, the questions (answered with `answer`) and the close.

#include "core/fakes.hpp"
#include "ui/model/window_model.hpp"
#include "ui/model/window_view.hpp"

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quentra::ui::testing {

class FakeView final : public model::WindowView {
public:
    using Ref = model::ControlRef;

    FakeView() {
        // The designed controls exist, with their designed texts and places.
        for (const model::DesignedControl& row : model::kDesignedControls) {
            const auto key = keyOf(row.ref);
            tops[key] = row.top;
            lefts[key] = row.left;
            captions[key] = std::string(row.text);
            visible.insert(key);
            if (row.field) {
                texts[*row.field] = std::string(row.text);
            }
        }
    }

    std::string programDirectory() const override { return programDir; }

    std::string text(core::JobField field) const override { return texts.at(field); }
    void setText(core::JobField field, const std::string& text) override {
        texts[field] = text;
        record(std::string(model::textBoxOf(field).name) + "=" + text);
    }

    void clearList() override {
        log.push_back("clearList");
        entries.clear();
        index = -1;
    }
    void addListEntry(std::string_view text) override { entries.emplace_back(text); }
    int listIndex() const override { return index; }
    void setListIndex(int value) override {
        index = value;
        record("cmbType=" + std::to_string(value));
    }

    int checkState(Ref box) const override {
        const auto it = states.find(keyOf(box));
        return it == states.end() ? 0 : it->second;
    }
    void setChecked(Ref box, bool ticked) override {
        requireExists(box);
        states[keyOf(box)] = ticked ? 1 : 0;
    }

    void createCopy(Ref member) override {
        log.push_back("create " + model::controlName(member));
        const auto key = keyOf(member);
        if (exists(member)) {
            throw std::logic_error("created twice: " + model::controlName(member));
        }
        const Ref original{member.control, 0};
        tops[key] = tops.at(keyOf(original));
        lefts[key] = lefts.at(keyOf(original));
        captions[key] = captions.at(keyOf(original));
    }
    void setVisible(Ref control, bool shown) override {
        requireExists(control);
        log.push_back((shown ? "show " : "hide ") + model::controlName(control));
        if (shown) {
            visible.insert(keyOf(control));
        } else {
            visible.erase(keyOf(control));
        }
    }
    int top(Ref control) const override {
        requireExists(control);
        return tops.at(keyOf(control));
    }
    void setTop(Ref control, int twips) override {
        requireExists(control);
        log.push_back(model::controlName(control) + ".Top=" + std::to_string(twips));
        tops[keyOf(control)] = twips;
    }
    void setLeft(Ref control, int twips) override {
        requireExists(control);
        log.push_back(model::controlName(control) + ".Left=" + std::to_string(twips));
        lefts[keyOf(control)] = twips;
    }
    void setCaption(Ref control, std::string_view text) override {
        requireExists(control);
        log.push_back(model::controlName(control) + ".Caption=" + std::string(text));
        captions[keyOf(control)] = std::string(text);
    }
    // The platform grants at most `grantedHeight` when one is set.
    void setOuterHeight(int twips) override {
        log.push_back("Height=" + std::to_string(twips));
        height = grantedHeight ? std::min(twips, *grantedHeight) : twips;
    }
    int outerHeight() const override { return height; }

    void warn(std::string_view title, std::string_view text) override {
        warnings.emplace_back(title, text);
    }
    bool confirm(std::string_view title, std::string_view text) override {
        questions.emplace_back(title, text);
        return answer;
    }
    void close() override { closed = true; }
    core::FileDialog& fileDialog() override {
        ++dialogRequests;
        return dialog;
    }

    // Helpers for the tests.
    static std::pair<model::Control, int> keyOf(Ref ref) { return {ref.control, ref.index}; }
    bool exists(Ref ref) const { return tops.count(keyOf(ref)) != 0; }
    bool isVisible(Ref ref) const { return visible.count(keyOf(ref)) != 0; }
    std::set<int> ticked() const {
        std::set<int> boxes;
        for (const auto& [key, state] : states) {
            if (key.first == model::Control::ChkAddr && state == 1) {
                boxes.insert(key.second);
            }
        }
        return boxes;
    }
    void tickAll(bool ticked) { states[keyOf({model::Control::chkAll})] = ticked ? 1 : 0; }

    std::string programDir = "/opt/quentra";
    std::map<core::JobField, std::string> texts;
    std::vector<std::string> entries;
    int index = -1;
    std::map<std::pair<model::Control, int>, int> states;
    std::map<std::pair<model::Control, int>, int> tops;
    std::map<std::pair<model::Control, int>, int> lefts;
    std::map<std::pair<model::Control, int>, std::string> captions;
    std::set<std::pair<model::Control, int>> visible;
    int height = model::kDesignClientHeight + model::kDesignFrameHeight;
    std::optional<int> grantedHeight;
    std::vector<std::pair<std::string, std::string>> warnings;
    std::vector<std::pair<std::string, std::string>> questions;
    bool answer = false; // to every question
    bool closed = false;
    int dialogRequests = 0;
    core::testing::FakeFileDialog dialog;
    std::vector<std::string> log;

    // A write whose log entry begins with this fails once it is made, as a window that is gone.
    std::string failAt;

private:
    void record(std::string entry) {
        log.push_back(std::move(entry));
        if (!failAt.empty() && log.back().rfind(failAt, 0) == 0) {
            throw 42;
        }
    }
    void requireExists(Ref ref) const {
        if (!exists(ref)) {
            throw std::logic_error("no control " + model::controlName(ref));
        }
    }
};

} // namespace quentra::ui::testing
