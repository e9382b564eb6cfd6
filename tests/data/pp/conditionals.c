#define ON 1
#define TWICE(x) ((x) * 2)
#if 0
#if 1
skipped_nested
#endif
#else
outer_else
#endif
#if ON
first
#elif 1 / 0
not_evaluated
#else
not_taken
#endif
#if 0
#elif TWICE(ON) == 2 && (ON | 4) == 5
elif_taken
#else
else_after_elif
#endif
#if 1
taken
#elif 1
#ifdef ON
nested_in_skipped_elif
#endif
#else
not_after_taken
#endif
#ifdef ON
ifdef_on
#endif
#ifndef ON
ifndef_on
#else
ifndef_else
#endif
#ifndef
missing_name_ifndef_is_active
#endif
#ifdef
missing_name_ifdef_is_inactive
#endif
#if 0
#define NOT_DEFINED 1
#error "not reported"
#endif
#ifdef NOT_DEFINED
wrong
#endif
#if 1 +
2
#endif
#endif
#if 1
#ifdef ON
inner_open
