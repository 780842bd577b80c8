// The parser: cleans a formula text of blanks and comments, splits it into
// statements and builds a tree whose variables, constants and functions are
// all bound, so that evaluation needs no name lookups.
//
// A stretch of text is split at its loosest operator: the first "=", else the
// last infix "+" or "-", else the last "*" or "/" (splitting at the last one
// makes them associate to the left), else a leading sign, else parentheses,
// a call or an operand.

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "expr/expr_local.h"

constexpr size_t NONE = std::string_view::npos;

// ---- Preparing the text ----

static bool isDroppedBlank(unsigned char c)
{
    return (c >= 7 && c <= 13) || c == ' ';
}

// Copies text to cleaned without blanks and without comments; "<" opens a
// comment and ">" closes one, and comments nest.
static int removeBlanksAndComments(std::string_view text, char *cleaned, size_t *length)
{
    size_t kept = 0;
    int commentDepth = 0;
    for (char c : text) {
        if (c == '<') {
            commentDepth++;
        } else if (c == '>') {
            if (commentDepth == 0)
                return EXPR_UNMATCHED_COMMENT;
            commentDepth--;
        } else if (commentDepth == 0 && !isDroppedBlank(static_cast<unsigned char>(c))) {
            cleaned[kept++] = c;
        }
    }
    if (commentDepth != 0)
        return EXPR_UNMATCHED_COMMENT;
    *length = kept;
    return EXPR_OK;
}

static bool isAllowedCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_.+-*/()&,;=").find(c) != NONE;
}

static int checkCharacters(std::string_view text)
{
    for (char c : text) {
        if (!isAllowedCharacter(c))
            return EXPR_BAD_CHARACTER;
    }
    return EXPR_OK;
}

// ---- Building nodes ----

static int makeCall(ExprNode *node, FormulaRoutine routine, ExprStep step, int argCount,
                    int refCount)
{
    node->kind = EXPR_NODE_CALL;
    node->step = step;
    node->routine = routine;
    if (argCount > 0) {
        node->args = static_cast<ExprNode *>(std::calloc(argCount, sizeof(ExprNode)));
        if (!node->args)
            return EXPR_NO_MEMORY;
        node->argCount = argCount;
    }
    if (refCount > 0) {
        node->refs = static_cast<double **>(std::calloc(refCount, sizeof(double *)));
        if (!node->refs)
            return EXPR_NO_MEMORY;
        node->refCount = refCount;
    }
    return EXPR_OK;
}

static int makeInternalCall(ExprNode *node, ExprStep step, int argCount)
{
    return makeCall(node, internalRoutine(step), step, argCount, 0);
}

static void makeValue(ExprNode *node, double value)
{
    node->kind = EXPR_NODE_VALUE;
    node->step = EXPR_STEP_VALUE;
    node->value = value;
}

// ---- Sub-expressions ----

// What one scan of a stretch notes at parenthesis depth 0.
struct StretchScan {
    size_t firstEquals = NONE;
    size_t lastInfix = NONE;   // last infix "+" or "-"
    size_t lastProduct = NONE; // last "*" or "/"
    size_t firstSign = NONE;
    size_t lastSign = NONE;
    size_t openParen = NONE;  // first "(" that leaves depth 0
    size_t closeParen = NONE; // first ")" that returns to depth 0
};

static bool directlyAfter(size_t position, size_t mark)
{
    return mark != NONE && position == mark + 1;
}

// A "+" or "-" is a sign when nothing it could apply to stands before it.
static bool isSignAt(size_t position, const StretchScan &scan)
{
    return position == 0 || directlyAfter(position, scan.firstEquals) ||
           directlyAfter(position, scan.lastInfix) || directlyAfter(position, scan.lastProduct) ||
           directlyAfter(position, scan.lastSign);
}

static void noteAtDepthZero(char c, size_t position, StretchScan *scan)
{
    if (c == '=') {
        if (scan->firstEquals == NONE)
            scan->firstEquals = position;
    } else if (c == '+' || c == '-') {
        if (isSignAt(position, *scan)) {
            if (scan->firstSign == NONE)
                scan->firstSign = position;
            scan->lastSign = position;
        } else {
            scan->lastInfix = position;
        }
    } else if (c == '*' || c == '/') {
        scan->lastProduct = position;
    }
}

static int scanStretch(std::string_view text, StretchScan *scan)
{
    int depth = 0;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '(') {
            if (depth == 0 && scan->openParen == NONE)
                scan->openParen = i;
            depth++;
        } else if (c == ')') {
            if (--depth < 0)
                return EXPR_UNMATCHED_PARENTHESIS;
            if (depth == 0 && scan->closeParen == NONE)
                scan->closeParen = i;
        } else if (depth == 0) {
            noteAtDepthZero(c, i, scan);
        }
    }
    return depth == 0 ? EXPR_OK : EXPR_UNMATCHED_PARENTHESIS;
}

static int parseSubExpression(Expression *expression, std::string_view text, ExprNode *node,
                              int depth);

static int parseAssignment(Expression *expression, std::string_view text, size_t equals,
                           ExprNode *node, int depth)
{
    if (equals == 0 || equals == text.size() - 1)
        return EXPR_SYNTAX;
    std::string_view target = text.substr(0, equals);
    if (target.size() > EXPR_MAX_NAME || !isValidName(target))
        return EXPR_BAD_OPERAND;
    if (!expression->variables)
        return EXPR_NO_VARIABLE_TABLE;
    node->kind = EXPR_NODE_ASSIGNMENT;
    node->step = EXPR_STEP_ASSIGN;
    int code = bindVariable(expression->variables, target, &node->address);
    if (code)
        return code;
    node->args = static_cast<ExprNode *>(std::calloc(1, sizeof(ExprNode)));
    if (!node->args)
        return EXPR_NO_MEMORY;
    node->argCount = 1;
    return parseSubExpression(expression, text.substr(equals + 1), node->args, depth + 1);
}

static int parseOperator(Expression *expression, std::string_view text, size_t at, ExprStep step,
                         ExprNode *node, int depth)
{
    if (at == 0 || at == text.size() - 1)
        return EXPR_SYNTAX;
    int code = makeInternalCall(node, step, 2);
    if (!code)
        code = parseSubExpression(expression, text.substr(0, at), &node->args[0], depth + 1);
    if (!code)
        code = parseSubExpression(expression, text.substr(at + 1), &node->args[1], depth + 1);
    return code;
}

static bool isNumber(std::string_view text)
{
    bool seenDigit = false, seenPoint = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            return false;
        }
    }
    return seenDigit;
}

// A name is a constant (folded into a value) or a variable (bound to its
// address); otherwise the operand must be a plain decimal number.
static int parseOperand(Expression *expression, std::string_view text, ExprNode *node)
{
    if (text.size() > EXPR_MAX_NAME)
        return EXPR_BAD_OPERAND;
    if (isValidName(text)) {
        const double *constant =
            expression->constants ? lookupConstant(expression->constants, text) : nullptr;
        if (constant) {
            makeValue(node, *constant);
            return EXPR_OK;
        }
        if (!expression->variables)
            return EXPR_NO_VARIABLE_TABLE;
        node->kind = EXPR_NODE_VARIABLE;
        node->step = EXPR_STEP_VARIABLE;
        return bindVariable(expression->variables, text, &node->address);
    }
    if (!isNumber(text))
        return EXPR_BAD_OPERAND;
    // from_chars ignores the locale, unlike strtod.
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    makeValue(node, value);
    return EXPR_OK;
}

// ---- Function calls ----

static bool outsideLimits(int count, int minimum, int maximum)
{
    return (minimum >= 0 && count < minimum) || (maximum >= 0 && count > maximum);
}

// The next argument of an argument list, up to a comma at depth 0.
// *position moves past that comma; it passes the end after the last argument.
static std::string_view nextArgument(std::string_view list, size_t *position)
{
    size_t start = *position;
    int depth = 0;
    size_t i = start;
    for (; i < list.size(); i++) {
        char c = list[i];
        if (c == '(')
            depth++;
        if (c == ')')
            depth--;
        if (c == ',' && depth == 0)
            break;
    }
    *position = i + 1;
    return list.substr(start, i - start);
}

// Counts plain and reference arguments; an "&" at depth 0 starts a
// reference and must directly follow "(" or ",". The list comes from between
// a matched pair of parentheses, so its own parentheses balance.
static int countArguments(std::string_view list, int *plain, int *references)
{
    *plain = *references = 0;
    if (list.empty())
        return EXPR_OK;
    int depth = 0, commas = 0;
    for (size_t i = 0; i < list.size(); i++) {
        char c = list[i];
        if (c == '(')
            depth++;
        if (c == ')')
            depth--;
        if (depth > 0)
            continue;
        if (c == ',')
            commas++;
        if (c == '&') {
            if (i > 0 && list[i - 1] != ',')
                return EXPR_SYNTAX;
            ++*references;
        }
    }
    *plain = commas + 1 - *references;
    return EXPR_OK;
}

static int parseReference(Expression *expression, std::string_view name, double **address)
{
    if (!expression->variables)
        return EXPR_NO_VARIABLE_TABLE;
    if (name.size() > EXPR_MAX_NAME)
        return EXPR_BAD_OPERAND;
    if (!isValidName(name))
        return EXPR_NO_MEMORY;
    return bindVariable(expression->variables, name, address);
}

static int parseCall(Expression *expression, std::string_view text, const StretchScan &scan,
                     ExprNode *node, int depth)
{
    if (scan.closeParen != text.size() - 1)
        return EXPR_SYNTAX;
    std::string_view name = text.substr(0, scan.openParen);
    if (name.size() > EXPR_MAX_NAME || !isValidName(name))
        return EXPR_BAD_OPERAND;
    FunctionSignature function;
    if (!expression->functions || !lookupFunction(expression->functions, name, &function) ||
        !function.routine) {
        return EXPR_NO_FUNCTION;
    }
    std::string_view list = text.substr(scan.openParen + 1, text.size() - scan.openParen - 2);
    int plain, references;
    int code = countArguments(list, &plain, &references);
    if (code)
        return code;
    if (outsideLimits(plain, function.minArgs, function.maxArgs) ||
        outsideLimits(references, function.minRefs, function.maxRefs)) {
        return EXPR_ARGUMENT_COUNT;
    }
    code = makeCall(node, function.routine, EXPR_STEP_CALL, plain, references);
    chooseCallStep(node);
    int argIndex = 0, refIndex = 0;
    for (size_t position = 0; !code && argIndex + refIndex < plain + references;) {
        std::string_view argument = nextArgument(list, &position);
        if (!argument.empty() && argument[0] == '&') {
            code = parseReference(expression, argument.substr(1), &node->refs[refIndex++]);
        } else {
            code = parseSubExpression(expression, argument, &node->args[argIndex++], depth + 1);
        }
    }
    return code;
}

// ---- The stretch itself ----

static int parseSubExpression(Expression *expression, std::string_view text, ExprNode *node,
                              int depth)
{
    if (depth > EXPR_MAX_DEPTH)
        return EXPR_NO_MEMORY;
    for (;;) {
        if (text.empty())
            return EXPR_SYNTAX;
        StretchScan scan;
        int code = scanStretch(text, &scan);
        if (code)
            return code;
        if (scan.firstEquals != NONE)
            return parseAssignment(expression, text, scan.firstEquals, node, depth);
        if (scan.lastInfix != NONE) {
            ExprStep step = text[scan.lastInfix] == '+' ? EXPR_STEP_ADD : EXPR_STEP_SUBTRACT;
            return parseOperator(expression, text, scan.lastInfix, step, node, depth);
        }
        if (scan.lastProduct != NONE) {
            ExprStep step = text[scan.lastProduct] == '*' ? EXPR_STEP_MULTIPLY : EXPR_STEP_DIVIDE;
            return parseOperator(expression, text, scan.lastProduct, step, node, depth);
        }
        if (scan.firstSign != NONE) {
            if (scan.firstSign != 0)
                return EXPR_INTERNAL;
            if (text[0] == '+') { // a plus sign changes nothing
                text.remove_prefix(1);
                continue;
            }
            code = makeInternalCall(node, EXPR_STEP_NEGATE, 1);
            return code ? code
                        : parseSubExpression(expression, text.substr(1), node->args, depth + 1);
        }
        if (text[0] == '(') {
            if (scan.closeParen != text.size() - 1 || text.size() == 2)
                return EXPR_SYNTAX;
            text = text.substr(1, text.size() - 2);
            continue;
        }
        if (scan.openParen != NONE)
            return parseCall(expression, text, scan, node, depth);
        return parseOperand(expression, text, node);
    }
}

// ---- Statements ----

// Every ";" must end a non-empty statement at depth 0, and the text must end
// with one.
static int countStatements(std::string_view text, int *count)
{
    int depth = 0;
    *count = 0;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '(') {
            depth++;
        } else if (c == ')') {
            if (--depth < 0)
                return EXPR_UNMATCHED_PARENTHESIS;
        } else if (c == ';') {
            if (depth > 0 || i == 0 || text[i - 1] == ';')
                return EXPR_SYNTAX;
            ++*count;
        }
    }
    if (depth != 0)
        return EXPR_UNMATCHED_PARENTHESIS;
    if (text.empty() || text.back() != ';')
        return EXPR_NO_FINAL_SEMICOLON;
    return EXPR_OK;
}

static int buildStatements(Expression *expression, std::string_view text)
{
    int count;
    int code = countStatements(text, &count);
    if (!code)
        code = makeInternalCall(expression->root, EXPR_STEP_STATEMENTS, count);
    size_t start = 0;
    for (int i = 0; i < count && !code; i++) {
        size_t end = text.find(';', start);
        code = parseSubExpression(expression, text.substr(start, end - start),
                                  &expression->root->args[i], 1);
        start = end + 1;
    }
    return code;
}

int parseExpression(Expression *expression, const char *text)
{
    if (!expression)
        return EXPR_MISSING;
    if (expression->state == EXPR_FAILED)
        return EXPR_PARSE_AFTER_FAILURE;
    if (expression->state == EXPR_PARSED)
        return EXPR_ALREADY_PARSED;
    if (!text)
        return EXPR_MISSING;
    size_t length = std::strlen(text);
    if (length == 0)
        return EXPR_EMPTY_TEXT;
    // Argument and statement counts are ints.
    if (length > static_cast<size_t>(INT_MAX))
        return EXPR_NO_MEMORY;
    char *cleaned = static_cast<char *>(std::malloc(length));
    if (!cleaned)
        return EXPR_NO_MEMORY;
    size_t cleanedLength = 0;
    int code = removeBlanksAndComments(std::string_view(text, length), cleaned, &cleanedLength);
    std::string_view cleanedText(cleaned, cleanedLength);
    if (!code)
        code = checkCharacters(cleanedText);
    if (!code) {
        expression->root = static_cast<ExprNode *>(std::calloc(1, sizeof(ExprNode)));
        if (!expression->root) {
            code = EXPR_NO_MEMORY;
        } else {
            code = buildStatements(expression, cleanedText);
            expression->state = code ? EXPR_FAILED : EXPR_PARSED;
            if (!code)
                expression->program = compileProgram(expression->root);
        }
    }
    std::free(cleaned);
    return code;
}
