#include "dui/object.h"

#include <cwchar>
#include <new>

struct Object::IntNode : dui::SmallObject {
    IntNode* next;
    AttributeId key;
    int32_t value;
};

struct Object::SizeNode : dui::SmallObject {
    SizeNode* next;
    AttributeId key;
    SIZE value;
};

struct Object::RectNode : dui::SmallObject {
    RectNode* next;
    AttributeId key;
    RECT value;
};

// Variable-sized: the text follows the node, zero-terminated.
struct Object::TextNode {
    TextNode* next;
    AttributeId key;
    wchar_t* text() { return reinterpret_cast<wchar_t*>(this + 1); }

    static TextNode* make(AttributeId key, const wchar_t* text, std::size_t length, TextNode* next) {
        void* block = dui::smallAlloc(sizeof(TextNode) + (length + 1) * sizeof(wchar_t));
        if (!block)
            return nullptr;
        auto* node = new (block) TextNode{next, key};
        if (length)
            std::wmemcpy(node->text(), text, length);
        node->text()[length] = L'\0';
        return node;
    }
};

namespace {

template <typename Node>
Node* findNode(Node* head, AttributeId id) {
    for (Node* n = head; n; n = n->next) {
        if (n->key == id)
            return n;
    }
    return nullptr;
}

template <typename Node>
void freeList(Node*& head) {
    while (head) {
        Node* next = head->next;
        delete head;
        head = next;
    }
}

template <typename Node, typename Value>
bool setValue(Node*& head, AttributeId id, const Value& value) {
    if (Node* n = findNode(head, id)) {
        n->value = value;
        return true;
    }
    Node* n = new Node;
    if (!n)
        return false;
    n->next = head;
    n->key = id;
    n->value = value;
    head = n;
    return true;
}

}  // namespace

Object::~Object() {
    freeList(ints_);
    freeList(sizes_);
    freeList(rects_);
    while (texts_) {
        TextNode* next = texts_->next;
        dui::smallFree(texts_);
        texts_ = next;
    }
}

bool Object::setInt(AttributeId id, int32_t value) {
    return setValue(ints_, id, value);
}

bool Object::setSize(AttributeId id, int32_t cx, int32_t cy) {
    return setValue(sizes_, id, SIZE{cx, cy});
}

bool Object::setRect(AttributeId id, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return setValue(rects_, id, RECT{left, top, right, bottom});
}

bool Object::setText(AttributeId id, const wchar_t* text) {
    return setText(id, text, text ? std::wcslen(text) : 0);
}

// An existing node is replaced by a new one at the same position in the list.
bool Object::setText(AttributeId id, const wchar_t* text, std::size_t length) {
    TextNode** link = &texts_;
    while (*link && (*link)->key != id) link = &(*link)->next;
    if (!*link)
        link = &texts_;
    TextNode* old = (*link && (*link)->key == id) ? *link : nullptr;
    TextNode* node = TextNode::make(id, text, length, old ? old->next : texts_);
    if (!node)
        return false;
    *link = node;
    dui::smallFree(old);
    textChanged(id);
    return true;
}

int32_t Object::getInt(AttributeId id, int32_t fallback) const {
    const int32_t* v = findInt(id);
    return v ? *v : fallback;
}

SIZE Object::getSize(AttributeId id, SIZE fallback) const {
    const SIZE* v = findSize(id);
    return v ? *v : fallback;
}

RECT Object::getRect(AttributeId id) const {
    const RECT* v = findRect(id);
    return v ? *v : RECT{0, 0, 0, 0};
}

const wchar_t* Object::getText(AttributeId id) const {
    const wchar_t* v = findText(id);
    return v ? v : L"";
}

const int32_t* Object::findInt(AttributeId id) const {
    IntNode* n = findNode(ints_, id);
    return n ? &n->value : nullptr;
}

const SIZE* Object::findSize(AttributeId id) const {
    SizeNode* n = findNode(sizes_, id);
    return n ? &n->value : nullptr;
}

const RECT* Object::findRect(AttributeId id) const {
    RectNode* n = findNode(rects_, id);
    return n ? &n->value : nullptr;
}

const wchar_t* Object::findText(AttributeId id) const {
    TextNode* n = findNode(texts_, id);
    return n ? n->text() : nullptr;
}
