// The fixed list of built-in device types the palette offers, in palette order, with their German
// display names, categories and icons. The palette (app) and the command-line tool both build
// their types from here; registerBuiltinDrafts() puts every entry into the registry.
#pragma once

#include <string>
#include <vector>

#include "model/Draft.h"

namespace gw {

// The palette categories, in the order they are created.
enum Category { katEmitter = 0, katFeedback, katLogic, katAdder, katRam, katCounter, katUDIC, katExIC };

struct CategoryInfo {
    const char* nameToken;
    const char* descToken;
    int icon;
};
// The eight categories in creation order (index = Category).
const std::vector<CategoryInfo>& catalogueCategories();

struct CatalogueEntry {
    std::string name;
    Category category;
    DraftPtr draft;
    int icon;  // -2: the category's icon
};

// A fresh list of the 65 built-in entries (new draft objects each call).
std::vector<CatalogueEntry> makeBuiltinCatalogue();
// Registers a fresh set of built-in types and answers them in catalogue order.
std::vector<CatalogueEntry> registerBuiltinDrafts();

}  // namespace gw
