// A named list of file items with the indices of the selected ones.
#pragma once

#include <string>
#include <vector>

#include "model/FileItem.h"

class CFileBasket {
public:
    CFileBasket() = default;
    explicit CFileBasket(const std::string& name) : BasketName(name) {}

    std::string BasketName = "My Basket";
    std::vector<CFileItem> m_Items;
    std::vector<int> m_Selection;  // "BasketSel="
};
