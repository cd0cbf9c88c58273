"""The automation methods as Python sees them: signature, docstring and stub,
made from one entry of the server's method table (its "$methods" reply).

The table is the program's; nothing here repeats it. An entry without
parameter names (or with names that do not fit) gets arg1, arg2, ...
"""

import inspect
import keyword

# Python types of the table's parameter and return types, for stubs.
_STUB_TYPES = {"long": "int", "double": "float", "BOOL": "bool", "string": "Optional[str]"}
_STUB_OUTPUT_TYPES = {"long": "int", "double": "float", "BOOL": "bool", "string": "str"}
# What a left-out by-reference parameter starts as (the server's rule).
_START_VALUES = {"long": 0, "double": 0.0, "BOOL": False, "string": ""}
_RETURN_TEXT = {
    "BOOL": "True when the call succeeded (a relay command: the relay answered PASS or DONE), else False",
    "long": "a number",
    "string": "a text, or None for the null string",
}
_PARAMETER_TEXT = {
    "long": "long, a 32-bit integer",
    "double": "double",
    "BOOL": "BOOL",
    "string": "string of characters U+0000 to U+00FF, or None",
}


def _parameter_names(entry):
    count = len(entry["params"])
    names = list(entry.get("names") or [])
    usable = len(names) == count and all(name.isidentifier() for name in names) and len(set(names)) == count
    if not usable:
        return [f"arg{position}" for position in range(1, count + 1)]
    # A keyword cannot name a Python parameter.
    return [name + "_" if keyword.iskeyword(name) else name for name in names]


class Parameter:
    """One parameter: its name, its table type ("long*" is by reference) and
    whether it may be left out (only trailing by-reference ones may)."""

    def __init__(self, name, kind, optional):
        self.name = name
        self.by_reference = kind.endswith("*")
        self.base = kind.rstrip("*")
        self.optional = optional

    @property
    def start_value(self):
        return _START_VALUES.get(self.base, 0)


class Method:
    """One row of the method table."""

    def __init__(self, entry):
        self.name = entry["name"]
        self.dispid = entry["dispid"]
        self.params = list(entry["params"])
        self.returns = entry["returns"]
        self.summary = entry.get("summary") or ""
        names = _parameter_names(entry)
        # Trailing by-reference parameters may be left out.
        leavable = len(self.params)
        while leavable > 0 and self.params[leavable - 1].endswith("*"):
            leavable -= 1
        self.parameters = [
            Parameter(name, kind, position >= leavable)
            for position, (name, kind) in enumerate(zip(names, self.params))
        ]

    @property
    def outputs(self):
        return [parameter for parameter in self.parameters if parameter.by_reference]

    @property
    def has_outputs(self):
        return bool(self.outputs)

    def signature(self):
        """The Python signature: trailing by-reference parameters default to their start values."""
        parameters = [
            inspect.Parameter(
                parameter.name,
                inspect.Parameter.POSITIONAL_OR_KEYWORD,
                default=parameter.start_value if parameter.optional else inspect.Parameter.empty,
            )
            for parameter in self.parameters
        ]
        return inspect.Signature(parameters)

    def positional(self, args, kwargs):
        """The arguments by position, as the server takes them; keywords are
        put in their places, and a by-reference parameter left out before one
        given by keyword starts as the server would start it."""
        if not kwargs:
            return list(args)
        bound = self.signature().bind(*args, **kwargs)
        given = [index for index, parameter in enumerate(self.parameters) if parameter.name in bound.arguments]
        return [
            bound.arguments.get(parameter.name, parameter.start_value)
            for parameter in self.parameters[: max(given) + 1]
        ]

    def result_names(self):
        return ["result"] + [parameter.name for parameter in self.outputs]

    def docstring(self):
        lines = [self.summary or f"The automation method {self.name}.", ""]
        if self.parameters:
            lines.append("Parameters:")
            for parameter in self.parameters:
                text = _PARAMETER_TEXT.get(parameter.base, parameter.base)
                if parameter.by_reference:
                    text += ", by reference: its value after the call comes back in the result"
                    if parameter.base == "string":
                        text += (
                            "; the string passed is the room the method writes into, so pass as many"
                            " characters as it may write"
                        )
                    if parameter.optional:
                        text += f"; may be left out ({parameter.start_value!r})"
                lines.append(f"    {parameter.name}: {text}")
            lines.append("")
        returned = _RETURN_TEXT.get(self.returns, self.returns)
        if self.has_outputs:
            lines.append(f"Returns ({', '.join(self.result_names())}):")
            lines.append(f"    result: {self.returns}, {returned}")
            for parameter in self.outputs:
                lines.append(f"    {parameter.name}: the final value of {parameter.name}")
        else:
            lines.append(f"Returns {self.returns}: {returned}.")
        lines.extend(["", f"Dispatch identifier {self.dispid}."])
        return "\n".join(lines)

    def stub(self, indent="    "):
        """The method's definition in a type stub, with its docstring."""
        parameters = ["self"]
        for parameter in self.parameters:
            types = _STUB_OUTPUT_TYPES if parameter.by_reference else _STUB_TYPES
            text = f"{parameter.name}: {types.get(parameter.base, 'Any')}"
            parameters.append(text + (" = ..." if parameter.optional else ""))
        returned = _STUB_TYPES.get(self.returns, "Any")
        if self.has_outputs:
            outputs = [_STUB_OUTPUT_TYPES.get(parameter.base, "Any") for parameter in self.outputs]
            returned = f"Tuple[{', '.join([returned] + outputs)}]"
        first, *rest = self.docstring().replace("\\", "\\\\").replace('"""', '\\"""').splitlines()
        doc = first + "".join("\n" + (indent * 2 + line if line else "") for line in rest)
        quotes = '"""'
        header = f"{indent}def {self.name}({', '.join(parameters)}) -> {returned}:"
        return f"{header}\n{indent * 2}{quotes}{doc}\n{indent * 2}{quotes}\n"

    def bound_to(self, document):
        """The method as an attribute of `document`, with its signature and docstring."""
        method = self

        def call(*args, **kwargs):
            return document.call(method.name, *method.positional(args, kwargs))

        call.__name__ = self.name
        call.__qualname__ = f"Document.{self.name}"
        call.__module__ = "testbay"
        call.__doc__ = self.docstring()
        call.__signature__ = self.signature()
        return call


# A name shown in the text is cut at this length.
_LONGEST_SHOWN_NAME = 64


def edit_distance(first, second):
    """Edit distance without regard to case: a letter added, dropped, changed
    or two neighbours swapped count one each (optimal string alignment)."""
    first, second = first.lower(), second.lower()
    before_previous, previous = None, list(range(len(second) + 1))
    for row in range(1, len(first) + 1):
        current = [row]
        for column in range(1, len(second) + 1):
            same = first[row - 1] == second[column - 1]
            distance = min(previous[column] + 1, current[column - 1] + 1, previous[column - 1] + (not same))
            swapped = row > 1 and column > 1 and first[row - 1] == second[column - 2]
            if swapped and first[row - 2] == second[column - 1]:
                distance = min(distance, before_previous[column - 2] + 1)
            current.append(distance)
        before_previous, previous = previous, current
    return previous[-1]


def nearest_names(name, candidates, limit=3):
    """The candidates at the least edit distance from `name`, when that is
    small for its length (a quarter of it, from 1 to 3); at most `limit`, in
    the candidates' order."""
    allowed = min(max(len(name) // 4, 1), 3)
    best, nearest = allowed + 1, []
    for candidate in candidates:
        if abs(len(name) - len(candidate)) > allowed:
            continue
        distance = edit_distance(name, candidate)
        if distance > allowed or distance > best:
            continue
        if distance < best:
            best, nearest = distance, []
        nearest.append(candidate)
    return nearest[:limit]


def unknown_name_text(name, names):
    """What the server says of a name not in its table (`names`, in the
    table's order): the nearest names, if any is near."""
    shown = name if len(name) <= _LONGEST_SHOWN_NAME else name[:_LONGEST_SHOWN_NAME] + "..."
    nearest = nearest_names(name, names)
    if not nearest:
        return f'Unknown name "{shown}"'
    listed = nearest[0] if len(nearest) == 1 else ", ".join(nearest[:-1]) + " or " + nearest[-1]
    return f'Unknown name "{shown}"; did you mean {listed}?'
