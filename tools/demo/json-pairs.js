// Parses JSON text keeping every member of an object in order, repeated
// names included: a cancellation item of the gateway's result names
// "operation" and "operator" twice, and JSON.parse would keep only the last.
// Objects become {entries: [[name, value], ...]}; arrays, strings, numbers,
// booleans and null are the usual JavaScript values.
"use strict";

const JsonPairs = (() => {
  function parse(text) {
    let i = 0;
    const fail = (what) => {
      throw new SyntaxError(`JSON: ${what} at ${i}`);
    };
    const space = () => {
      while (i < text.length && " \t\r\n".includes(text[i])) i++;
    };
    const value = () => {
      space();
      const c = text[i];
      if (c === "{") return object();
      if (c === "[") return array();
      if (c === '"') return string();
      if (c === "t" && text.startsWith("true", i)) return (i += 4), true;
      if (c === "f" && text.startsWith("false", i)) return (i += 5), false;
      if (c === "n" && text.startsWith("null", i)) return (i += 4), null;
      const m = /^-?(0|[1-9]\d*)(\.\d+)?([eE][+-]?\d+)?/.exec(text.slice(i));
      if (!m) fail("unexpected character");
      i += m[0].length;
      return Number(m[0]);
    };
    const string = () => {
      const start = i;
      i++;
      while (i < text.length && text[i] !== '"') i += text[i] === "\\" ? 2 : 1;
      if (i >= text.length) fail("unterminated string");
      i++;
      return JSON.parse(text.slice(start, i));
    };
    const object = () => {
      const entries = [];
      i++;
      space();
      if (text[i] === "}") return i++, { entries };
      for (;;) {
        space();
        if (text[i] !== '"') fail("member name expected");
        const name = string();
        space();
        if (text[i++] !== ":") fail("':' expected");
        entries.push([name, value()]);
        space();
        if (text[i] === ",") i++;
        else if (text[i] === "}") return i++, { entries };
        else fail("',' or '}' expected");
      }
    };
    const array = () => {
      const items = [];
      i++;
      space();
      if (text[i] === "]") return i++, items;
      for (;;) {
        items.push(value());
        space();
        if (text[i] === ",") i++;
        else if (text[i] === "]") return i++, items;
        else fail("',' or ']' expected");
      }
    };
    const result = value();
    space();
    if (i !== text.length) fail("text after the value");
    return result;
  }

  return { parse };
})();
