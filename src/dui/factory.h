// Creators: map XML element names to control classes and style type names to style classes. Both
// registries are filled once at start-up and owned by the UiContext. Names are exact, case-sensitive.
// UI thread only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

class Control;
class Style;

namespace duiFactory {

template <typename Base>
class Creator {
  public:
    virtual ~Creator() = default;
    // A new object owned by the caller, null when allocation fails.
    virtual Base* create() const = 0;
};

template <typename Base, typename Concrete>
class Creator_ : public Creator<Base> {
  public:
    Base* create() const override { return new Concrete; }
};

template <typename Base>
class CreatorRegistry {
  public:
    // Null when the name is not registered.
    const Creator<Base>* find(std::wstring_view name) const {
        auto it = creators_.find(name);
        return it == creators_.end() ? nullptr : it->second.get();
    }
    // Registers (or replaces) the creator of `name`.
    void add(std::wstring_view name, std::unique_ptr<Creator<Base>> creator) {
        creators_.insert_or_assign(std::wstring(name), std::move(creator));
    }
    // registry.add<Style_Button>(L"Button")
    template <typename Concrete>
    void add(std::wstring_view name) {
        add(name, std::make_unique<Creator_<Base, Concrete>>());
    }
    // A new object of the class registered as `name`, or null.
    Base* create(std::wstring_view name) const {
        const Creator<Base>* c = find(name);
        return c ? c->create() : nullptr;
    }
    std::size_t size() const { return creators_.size(); }

  private:
    std::map<std::wstring, std::unique_ptr<Creator<Base>>, std::less<>> creators_;
};

// Element name -> control class.
class ControlCreatorRegistry : public CreatorRegistry<Control> {};
// Style type name -> style class.
class StyleCreatorRegistry : public CreatorRegistry<Style> {};

// Adds the element names of the layout panels ("Canvas", "StackPanel", "DockPanel", "Grid", "Window").
void registerPanelCreators(ControlCreatorRegistry& registry);

}  // namespace duiFactory

// The registries the UiContext owns; null when allocation fails. The control registry holds every
// element name whose class is built; the style registry is filled by the style module.
duiFactory::ControlCreatorRegistry* createControlCreators();
duiFactory::StyleCreatorRegistry* createStyleCreators();
void destroyControlCreators(duiFactory::ControlCreatorRegistry* registry);
void destroyStyleCreators(duiFactory::StyleCreatorRegistry* registry);
