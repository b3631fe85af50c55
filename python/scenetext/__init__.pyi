import os
from typing import List, Literal, Optional, TypedDict, Union, overload

import numpy
import numpy.typing

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]

class WordBox(TypedDict):
    left: int
    top: int
    right: int  # inclusive
    bottom: int  # inclusive

class TextLine(TypedDict):
    left: int
    top: int
    right: int  # inclusive
    bottom: int  # inclusive
    score: float
    words: List[WordBox]

class ScoredWord(TypedDict):
    left: int
    top: int
    right: int  # inclusive
    bottom: int  # inclusive
    score: float

class Error(Exception): ...
class ModelError(Error, ValueError): ...
class ImageError(Error, ValueError): ...

class Detector:
    def __init__(
        self, model: Optional[_Path] = ..., candidates: Literal["exact", "extended"] = ...
    ) -> None: ...
    @property
    def model(self) -> Union[str, bytes]: ...
    @property
    def candidates(self) -> Literal["exact", "extended"]: ...
    @overload
    def detect(
        self, image: Union[numpy.typing.NDArray[numpy.uint8], _Path],
        granularity: Literal["line"] = ...,
    ) -> List[TextLine]: ...
    @overload
    def detect(
        self, image: Union[numpy.typing.NDArray[numpy.uint8], _Path], granularity: Literal["word"]
    ) -> List[ScoredWord]: ...

def read_image(path: _Path) -> numpy.typing.NDArray[numpy.uint8]: ...
