// The Expression object: creation, its parse state, the tree it owns and
// the fields hosts may read.

#include <cstdlib>

#include "expr/expr_local.h"

int createExpression(FunctionTable *functions, ValueTable *variables, ValueTable *constants,
                     void *userData, ExprBreaker breaker, void *userValue, Expression **expression)
{
    if (!expression)
        return EXPR_MISSING;
    Expression *created = static_cast<Expression *>(std::calloc(1, sizeof(Expression)));
    *expression = created;
    if (!created)
        return EXPR_NO_MEMORY;
    created->functions = functions;
    created->variables = variables;
    created->constants = constants;
    created->userData = userData;
    created->breaker = breaker;
    created->userValue = userValue;
    created->state = EXPR_UNPARSED;
    created->softErrors = false;
    return EXPR_OK;
}

// Recursion is bounded by the parser's nesting limit.
void freeNodeChildren(ExprNode *node)
{
    for (int i = 0; i < node->argCount; i++)
        freeNodeChildren(&node->args[i]);
    std::free(node->args);
    std::free(node->refs);
}

int clearExpression(Expression *expression)
{
    if (!expression)
        return EXPR_MISSING;
    if (expression->root) {
        freeNodeChildren(expression->root);
        std::free(expression->root);
        expression->root = nullptr;
    }
    freeProgram(expression->program);
    expression->program = nullptr;
    expression->state = EXPR_UNPARSED;
    return EXPR_OK;
}

void destroyExpression(Expression *expression)
{
    if (!expression)
        return;
    clearExpression(expression);
    std::free(expression);
}

int setSoftErrors(Expression *expression, bool on)
{
    if (!expression)
        return EXPR_MISSING;
    expression->softErrors = on;
    return EXPR_OK;
}

FunctionTable *expressionFunctions(const Expression *expression)
{
    return expression->functions;
}
ValueTable *expressionVariables(const Expression *expression)
{
    return expression->variables;
}
ValueTable *expressionConstants(const Expression *expression)
{
    return expression->constants;
}
void *expressionUserData(const Expression *expression)
{
    return expression->userData;
}
ExprBreaker expressionBreaker(const Expression *expression)
{
    return expression->breaker;
}
void *expressionUserValue(const Expression *expression)
{
    return expression->userValue;
}
bool expressionSoftErrors(const Expression *expression)
{
    return expression->softErrors;
}

void setExpressionUserValue(Expression *expression, void *userValue)
{
    expression->userValue = userValue;
}
