"""The exceptions VARNOLT raises, beside Python's own (OSError for files,
TypeError for a value of the wrong type, MemoryError for a run too large)."""


class SettingsError(ValueError):
    """Settings that a run refuses: the first of the thirteen rules they fail.

    The message is the runner's line, for example
    "femaleThreshold 17 must be below maleThreshold 17 (rule 5)".

    Attributes:
        setting: the setting the rule is about ("maleThreshold").
        value: that setting's value in the settings checked.
        rule: the rule's number, 1 to 13, in the order a run tests them.
    """

    def __init__(self, message, setting=None, value=None, rule=None):
        super().__init__(message)
        self.setting = setting
        self.value = value
        self.rule = rule


class UnknownSettingError(AttributeError, KeyError):
    """A setting name that is none of the 27: raised for items (as KeyError)
    and attributes (as AttributeError) alike. The message lists the names."""

    def __init__(self, message, name=None):
        super().__init__(message)
        self.setting = name

    def __str__(self):
        return str(self.args[0]) if self.args else ""


class SettingsFileError(ValueError):
    """A file that is not a whole VARNOLT settings file (it ends early, is
    damaged, or holds more than settings). `filename` names it."""

    def __init__(self, message, filename=None):
        super().__init__(message)
        self.filename = filename


class ResultsFileError(ValueError):
    """A file that holds no table of results VARNOLT can read (neither a
    report nor a CSV of cycles). `filename` names it."""

    def __init__(self, message, filename=None):
        super().__init__(message)
        self.filename = filename


class RunError(RuntimeError):
    """A run that started and could not finish: a frond setting took it
    outside the fronds the model holds. `setting` and `value` name it."""

    def __init__(self, message, setting=None, value=None):
        super().__init__(message)
        self.setting = setting
        self.value = value
