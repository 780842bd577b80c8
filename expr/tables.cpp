// Function and value tables: unbalanced binary search trees ordered by the
// bytes of the names. Entries are only ever added, so the address of a value
// stays valid until its table is destroyed; parsed trees hold such addresses.

#include <cstdlib>
#include <cstring>

#include "expr/expr_local.h"

struct ValueEntry {
    ValueEntry *left;
    ValueEntry *right;
    ValueEntry *parent; // lets the in-order walks run without a stack
    std::string_view name;
    double value;
};

struct FunctionEntry {
    FunctionEntry *left;
    FunctionEntry *right;
    FunctionEntry *parent;
    std::string_view name;
    FunctionSignature signature;
};

struct ValueTable {
    ValueEntry *root;
};

struct FunctionTable {
    FunctionEntry *root;
};

static bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
static bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isValidName(std::string_view name)
{
    if (name.empty() || !(isLetter(name[0]) || name[0] == '_'))
        return false;
    for (char c : name) {
        if (!isLetter(c) && !isDigit(c) && c != '_')
            return false;
    }
    return true;
}

// string_view compares bytes as unsigned values and sorts a prefix first.
template <typename Entry> static Entry *findEntry(Entry *node, std::string_view name)
{
    while (node) {
        int order = name.compare(node->name);
        if (order == 0)
            return node;
        node = order < 0 ? node->left : node->right;
    }
    return nullptr;
}

// The entry of that name, created zeroed (apart from its name) when absent;
// null when memory runs out. The name is stored in the same block.
template <typename Entry> static Entry *findOrInsertEntry(Entry **root, std::string_view name)
{
    Entry *parent = nullptr;
    Entry **link = root;
    while (*link) {
        int order = name.compare((*link)->name);
        if (order == 0)
            return *link;
        parent = *link;
        link = order < 0 ? &parent->left : &parent->right;
    }
    Entry *entry = static_cast<Entry *>(std::calloc(1, sizeof(Entry) + name.size() + 1));
    if (!entry)
        return nullptr;
    char *copy = reinterpret_cast<char *>(entry + 1);
    std::memcpy(copy, name.data(), name.size());
    entry->name = std::string_view(copy, name.size());
    entry->parent = parent;
    *link = entry;
    return entry;
}

// Frees a whole tree without recursion: a left child is rotated up until the
// node at the top has none, then that node goes and its right child follows.
template <typename Entry> static void freeEntries(Entry *node)
{
    while (node) {
        if (node->left) {
            Entry *left = node->left;
            node->left = left->right;
            left->right = node;
            node = left;
        } else {
            Entry *right = node->right;
            std::free(node);
            node = right;
        }
    }
}

static ValueEntry *firstInOrder(ValueEntry *node)
{
    while (node && node->left)
        node = node->left;
    return node;
}

static ValueEntry *nextInOrder(ValueEntry *node)
{
    if (node->right)
        return firstInOrder(node->right);
    while (node->parent && node == node->parent->right)
        node = node->parent;
    return node->parent;
}

// ---- Function tables ----

int createFunctionTable(FunctionTable **table)
{
    if (!table)
        return EXPR_MISSING;
    *table = static_cast<FunctionTable *>(std::calloc(1, sizeof(FunctionTable)));
    return *table ? EXPR_OK : EXPR_NO_MEMORY;
}

static void orderLimits(int *low, int *high)
{
    if (*low >= 0 && *high >= 0 && *low > *high) {
        int swapped = *low;
        *low = *high;
        *high = swapped;
    }
}

int addFunction(FunctionTable *table, const char *name, FormulaRoutine routine, int minArgs,
                int maxArgs, int minRefs, int maxRefs)
{
    if (!table)
        return EXPR_MISSING;
    if (!name || !isValidName(name))
        return EXPR_NO_MEMORY;
    FunctionEntry *entry = findOrInsertEntry(&table->root, std::string_view(name));
    if (!entry)
        return EXPR_NO_MEMORY;
    orderLimits(&minArgs, &maxArgs);
    orderLimits(&minRefs, &maxRefs);
    entry->signature = FunctionSignature{routine, minArgs, maxArgs, minRefs, maxRefs};
    return EXPR_OK;
}

int findFunction(const FunctionTable *table, const char *name, FormulaRoutine *routine,
                 int *minArgs, int *maxArgs, int *minRefs, int *maxRefs)
{
    if (!table || !name)
        return EXPR_MISSING;
    FunctionSignature found;
    if (!lookupFunction(table, name, &found))
        return EXPR_NOT_FOUND;
    if (routine)
        *routine = found.routine;
    if (minArgs)
        *minArgs = found.minArgs;
    if (maxArgs)
        *maxArgs = found.maxArgs;
    if (minRefs)
        *minRefs = found.minRefs;
    if (maxRefs)
        *maxRefs = found.maxRefs;
    return EXPR_OK;
}

bool lookupFunction(const FunctionTable *table, std::string_view name, FunctionSignature *found)
{
    const FunctionEntry *entry = findEntry(table->root, name);
    if (!entry)
        return false;
    *found = entry->signature;
    return true;
}

void destroyFunctionTable(FunctionTable *table)
{
    if (!table)
        return;
    freeEntries(table->root);
    std::free(table);
}

// ---- Value tables ----

int createValueTable(ValueTable **table)
{
    if (!table)
        return EXPR_MISSING;
    *table = static_cast<ValueTable *>(std::calloc(1, sizeof(ValueTable)));
    return *table ? EXPR_OK : EXPR_NO_MEMORY;
}

int setValue(ValueTable *table, const char *name, double value)
{
    if (!table)
        return EXPR_MISSING;
    if (!name || !isValidName(name))
        return EXPR_NO_MEMORY;
    ValueEntry *entry = findOrInsertEntry(&table->root, std::string_view(name));
    if (!entry)
        return EXPR_NO_MEMORY;
    entry->value = value;
    return EXPR_OK;
}

int getValue(const ValueTable *table, const char *name, double *value)
{
    if (!table || !name || !value)
        return EXPR_MISSING;
    const ValueEntry *entry = findEntry(table->root, std::string_view(name));
    if (!entry)
        return EXPR_NOT_FOUND;
    *value = entry->value;
    return EXPR_OK;
}

int getValueAddress(ValueTable *table, const char *name, double **address)
{
    if (!table || !name || !address)
        return EXPR_MISSING;
    ValueEntry *entry = findEntry(table->root, std::string_view(name));
    *address = entry ? &entry->value : nullptr;
    return entry ? EXPR_OK : EXPR_NOT_FOUND;
}

const double *lookupConstant(const ValueTable *table, std::string_view name)
{
    const ValueEntry *entry = findEntry(table->root, name);
    return entry ? &entry->value : nullptr;
}

int bindVariable(ValueTable *table, std::string_view name, double **address)
{
    ValueEntry *entry = findOrInsertEntry(&table->root, name);
    if (!entry)
        return EXPR_NO_MEMORY;
    *address = &entry->value;
    return EXPR_OK;
}

int zeroValues(ValueTable *table)
{
    if (!table)
        return EXPR_MISSING;
    for (ValueEntry *entry = firstInOrder(table->root); entry; entry = nextInOrder(entry)) {
        entry->value = 0;
    }
    return EXPR_OK;
}

int visitValues(const ValueTable *table, ValueVisitor visitor, void *user)
{
    if (!table || !visitor)
        return EXPR_MISSING;
    for (ValueEntry *entry = firstInOrder(table->root); entry; entry = nextInOrder(entry)) {
        visitor(entry->name.data(), entry->value, user);
    }
    return EXPR_OK;
}

void destroyValueTable(ValueTable *table)
{
    if (!table)
        return;
    freeEntries(table->root);
    std::free(table);
}
