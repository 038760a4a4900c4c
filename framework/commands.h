#pragma once
// Command routing and command state. A command target keeps an ordered table of entries
// (kind, first id, last id, handler); for a command or a state request the first entry whose
// kind matches and whose range holds the id wins.

#include <span>
#include <string>

namespace fw {

// A state request for one menu item, tool bar button or status pane.
class CmdUI {
public:
    explicit CmdUI(unsigned id)
        : m_id(id) {}
    virtual ~CmdUI() = default;
    unsigned id() const { return m_id; }

    virtual void Enable(bool on = true) = 0;
    virtual void SetCheck(bool on = true) { (void)on; }
    virtual void SetText(const std::string& text) { (void)text; }

private:
    unsigned m_id;
};

// A request that only records the answer: asks whether a command may run now.
class ProbeCmdUI final : public CmdUI {
public:
    using CmdUI::CmdUI;
    void Enable(bool on) override { enabled = on; }
    bool enabled = true;
};

enum class MapKind { Command, Update };

template <class T> struct MapEntry {
    MapKind kind;
    unsigned first;
    unsigned last;
    void (T::*command)() = nullptr;              // a command of one id
    void (T::*rangeCommand)(unsigned) = nullptr; // a command of a range: receives the id
    void (T::*update)(CmdUI&) = nullptr;         // a state rule

    bool holds(MapKind k, unsigned id) const { return k == kind && id >= first && id <= last; }
};

template <class T> constexpr MapEntry<T> OnCommand(unsigned id, void (T::*f)()) {
    return {MapKind::Command, id, id, f, nullptr, nullptr};
}
template <class T>
constexpr MapEntry<T> OnCommandRange(unsigned first, unsigned last, void (T::*f)(unsigned)) {
    return {MapKind::Command, first, last, nullptr, f, nullptr};
}
template <class T>
constexpr MapEntry<T> OnUpdateRange(unsigned first, unsigned last, void (T::*f)(CmdUI&)) {
    return {MapKind::Update, first, last, nullptr, nullptr, f};
}
template <class T> constexpr MapEntry<T> OnUpdate(unsigned id, void (T::*f)(CmdUI&)) {
    return OnUpdateRange(id, id, f);
}

template <class T>
const MapEntry<T>* FindEntry(std::span<const MapEntry<T>> map, MapKind kind, unsigned id) {
    for (const auto& entry : map)
        if (entry.holds(kind, id)) return &entry;
    return nullptr;
}

// Runs the command handler of `id`; false when the table has none.
template <class T> bool RouteCommand(T& target, std::span<const MapEntry<T>> map, unsigned id) {
    const auto* entry = FindEntry(map, MapKind::Command, id);
    if (!entry) return false;
    if (entry->command)
        (target.*(entry->command))();
    else
        (target.*(entry->rangeCommand))(id);
    return true;
}

// Runs the state rule of the request's id; false when the table has none.
template <class T> bool RouteUpdate(T& target, std::span<const MapEntry<T>> map, CmdUI& ui) {
    const auto* entry = FindEntry(map, MapKind::Update, ui.id());
    if (!entry) return false;
    (target.*(entry->update))(ui);
    return true;
}

} // namespace fw
