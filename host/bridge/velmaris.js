// The page's side of the bridge: the controls of the helper on this machine, over a WebSocket on
// loopback. A classic script that defines globalThis.Velmaris; velmaris.mjs exports the same
// object for module pages. ES2017, no dependencies.
(function (global) {
  "use strict";
  if (global.Velmaris) return;

  // What a pending call fails with once the connection is gone (E_FAIL).
  var LOST_NUMBER = -2147467259;
  var LOST = "与本机控件的连接已断开";
  var UNREACHABLE = "无法连接本机控件服务";
  // The client's own members of a control; everything else is the control's.
  var OWN = ["id", "methods", "properties", "call", "callWithArgs", "get", "set", "release", "form",
             "showForm", "hideForm"];

  function bridgeError(reply) {
    var e = reply || {};
    var description = typeof e.description === "string" ? e.description : "";
    var error = new Error(description);
    error.number = typeof e.number === "number" ? e.number : LOST_NUMBER;
    error.source = typeof e.source === "string" ? e.source : "";
    error.description = description;
    return error;
  }

  function lostError(description) {
    return bridgeError({number: LOST_NUMBER, source: "Velmaris", description: description || LOST});
  }

  function Session(socket, base) {
    var self = this;
    this._socket = socket;
    // Where the helper serves pictures of forms: "http://127.0.0.1:9120".
    this._base = base;
    this._pending = new Map();
    // The forms shown in this page, by control id.
    this._forms = new Map();
    this._nextId = 1;
    this.onerror = null;
    var settle;
    this.closed = new Promise(function (resolve) { settle = resolve; });
    socket.onmessage = function (event) { self._receive(event.data); };
    socket.onclose = function (event) {
      self._failPending();
      self._dropForms();
      settle({code: event.code, reason: event.reason});
    };
  }

  Session.prototype._receive = function (data) {
    var reply;
    try {
      reply = JSON.parse(data);
    } catch (e) {
      this._report(lostError("本机控件服务的应答无法识别"));
      return;
    }
    if (reply === null || typeof reply !== "object") return;
    if (reply.event === "form") {
      var form = this._forms.get(reply.control);
      if (form !== undefined && Array.isArray(reply.changes)) form.apply(reply.changes);
      return;
    }
    var waiting = typeof reply.id === "number" ? this._pending.get(reply.id) : undefined;
    if (waiting === undefined) {
      // A reply to no request of ours (a request it could not read): nobody else hears of it.
      if (reply.error) this._report(bridgeError(reply.error));
      return;
    }
    this._pending.delete(reply.id);
    if (reply.error) waiting.reject(bridgeError(reply.error));
    else waiting.resolve(reply);
  };

  Session.prototype._failPending = function () {
    var pending = Array.from(this._pending.values());
    this._pending.clear();
    pending.forEach(function (waiting) { waiting.reject(lostError()); });
  };

  Session.prototype._report = function (error) {
    if (typeof this.onerror === "function") this.onerror(error);
    else console.error(error);
  };

  // Sends one request; the promise settles with its reply (an error reply rejects).
  Session.prototype._send = function (request) {
    var self = this;
    return new Promise(function (resolve, reject) {
      if (self._socket.readyState !== 1) {
        reject(lostError());
        return;
      }
      var id = self._nextId++;
      request.id = id;
      var text;
      try {
        text = JSON.stringify(request);
      } catch (e) {
        reject(e);
        return;
      }
      self._pending.set(id, {resolve: resolve, reject: reject});
      self._socket.send(text);
    });
  };

  Session.prototype.create = function (progId) {
    var self = this;
    return this._send({op: "create", progId: progId}).then(function (reply) {
      return makeControl(self, reply.control, reply.methods || [], reply.properties || []);
    });
  };

  // A request to the test host (--answer-dialogs): answerFileDialog, answerFolder, ...
  Session.prototype.host = function (name) {
    var args = Array.prototype.slice.call(arguments, 1);
    return this._send({op: "host", name: name, args: args}).then(function (reply) {
      return reply.result;
    });
  };

  // Closes the connection, which releases the page's controls; what is still waiting fails now.
  Session.prototype.close = function () {
    this._failPending();
    this._dropForms();
    if (this._socket.readyState <= 1) this._socket.close(1000);
  };

  Session.prototype._dropForms = function () {
    var forms = Array.from(this._forms.values());
    this._forms.clear();
    forms.forEach(function (form) { form.remove(); });
  };

  // Draws the control's form into `element`; settles with the form's root element. A form shown
  // already moves there.
  Session.prototype._showForm = function (id, element) {
    if (!element || typeof element.appendChild !== "function") {
      return Promise.reject(new TypeError("showForm: 需要一个页面元素"));
    }
    var self = this;
    var form = this._forms.get(id);
    if (form === undefined) {
      form = new WebForm(this, id);
      this._forms.set(id, form);
      // Changes pushed before the reply are older than the state it carries: until it is
      // built, the form ignores them.
      form.ready = this._send({op: "showForm", control: id}).then(function (reply) {
        if (self._forms.get(id) === form) form.build(reply.result || {}, element.ownerDocument);
      }, function (error) {
        if (self._forms.get(id) === form) self._forms.delete(id);
        throw error;
      });
    }
    return form.ready.then(function () {
      if (self._forms.get(id) !== form) return null;  // hidden or released meanwhile
      if (form.root.parentNode !== element) {
        injectStyle(element.ownerDocument);
        element.appendChild(form.root);
      }
      return form.root;
    });
  };

  Session.prototype._hideForm = function (id) {
    this._removeForm(id);
    return this._send({op: "hideForm", control: id}).then(function () { return undefined; });
  };

  Session.prototype._removeForm = function (id) {
    var form = this._forms.get(id);
    if (form === undefined) return;
    this._forms.delete(id);
    form.remove();
  };

  function makeControl(session, id, methods, properties) {
    var methodNames = new Set(methods);
    var propertyNames = new Set(properties);
    function request(op, name, extra) {
      var message = {op: op, control: id};
      if (name !== undefined) message.name = name;
      return session._send(Object.assign(message, extra));
    }
    var api = {
      id: id,
      methods: methods.slice(),
      properties: properties.slice(),
      call: function (name) {
        var args = Array.prototype.slice.call(arguments, 1);
        return request("call", name, {args: args}).then(function (reply) { return reply.result; });
      },
      // For members that take arguments by reference: the result and every argument after the call.
      callWithArgs: function (name) {
        var args = Array.prototype.slice.call(arguments, 1);
        return request("call", name, {args: args}).then(function (reply) {
          return {result: reply.result, args: Array.isArray(reply.args) ? reply.args : args};
        });
      },
      get: function (name) {
        return request("get", name).then(function (reply) { return reply.result; });
      },
      set: function (name, value) {
        return request("set", name, {value: value}).then(function () { return undefined; });
      },
      release: function () {
        session._removeForm(id);
        return request("release").then(function () { return undefined; });
      },
      // The control's form drawn live into a DOM element of the page (see WebForm).
      showForm: function (element) {
        return session._showForm(id, element);
      },
      hideForm: function () {
        return session._hideForm(id);
      },
      // A member of the control's form in the test host (click, get, setText, check, ...).
      form: function (name) {
        var args = Array.prototype.slice.call(arguments, 1);
        return request("form", name, {args: args}).then(function (reply) { return reply.result; });
      }
    };
    Object.freeze(api);
    return new Proxy(api, {
      get: function (target, name) {
        // Not a thenable, and the language's own protocols stay the object's own.
        if (name === "then" || name === "toJSON") return undefined;
        if (typeof name === "symbol" || name in target) return Reflect.get(target, name);
        if (propertyNames.has(name)) return api.get(name);
        return function () {
          return api.call.apply(null, [name].concat(Array.prototype.slice.call(arguments)));
        };
      },
      set: function (target, name, value) {
        if (typeof name === "symbol" || OWN.indexOf(name) >= 0) return false;
        // An assignment cannot wait: a failure goes to session.onerror.
        api.set(name, value).catch(function (error) { session._report(error); });
        return true;
      },
      has: function (target, name) {
        return name in target || methodNames.has(name) || propertyNames.has(name);
      }
    });
  }

  // --- Forms in the page ------------------------------------------------------------------------
  // A control's form drawn with real HTML controls, laid out as on the desktop: its twips rounded
  // to CSS pixels one rectangle at a time, a frame's children placed inside it. What a person does
  // goes back as gestures; what the control changes comes pushed and is applied child by child.

  var TWIPS_PER_PIXEL = 15;
  // A text box this high holds two lines and its border: it takes several lines.
  var MULTI_LINE_TWIPS = 600;
  // How long typing rests before its text goes to the control.
  var TYPING_DELAY = 150;
  // Error 70: the child went disabled or hidden before the gesture reached it, as a person's
  // click on a greying button can; the form shows the control's state again, nothing to report.
  var REFUSED_NUMBER = -2146828218;
  // A label ties to the box on its row at most this far right of it, or to the box just below it.
  var LABEL_GAP = 360;
  var LABEL_BELOW = 240;
  var LABELLED = ["TextBox", "ComboBox", "ListBox", "ProgressBar"];
  var STYLE_RULES = [
    ".vmf-form{box-sizing:border-box;position:relative;display:inline-block;vertical-align:top;" +
      "overflow:hidden;background:#efefef;color:#000;text-align:left;line-height:normal;" +
      "font:12px \"WenQuanYi Micro Hei\",\"Microsoft YaHei\",\"PingFang SC\"," +
      "\"Noto Sans CJK SC\",SimSun,sans-serif}",
    ".vmf-form *{box-sizing:border-box;font:inherit;margin:0;letter-spacing:normal}",
    ".vmf-form [hidden]{display:none!important}",
    ".vmf-form .vmf-box{position:absolute}",
    ".vmf-form .vmf-disabled,.vmf-form :disabled{color:#bebebe}",
    ".vmf-form :focus-visible{outline:1px solid #308cc6;outline-offset:-1px}",
    ".vmf-form .vmf-button{padding:0 4px;border:1px solid #ababab;border-radius:2px;color:#000;" +
      "background:linear-gradient(#fdfdfd,#efefef);white-space:nowrap;overflow:hidden}",
    ".vmf-form .vmf-button:active:not(:disabled){background:linear-gradient(#e2e2e2,#dadada)}",
    ".vmf-form .vmf-button:disabled{color:#bebebe;border-color:#c6c6c6;background:#efefef}",
    ".vmf-form .vmf-label{overflow:hidden;white-space:pre-wrap;overflow-wrap:anywhere;padding:0}",
    ".vmf-form .vmf-textbox{border:1px solid #a6a6a6;border-radius:2px;background:#fff;" +
      "color:#000;padding:0 3px}",
    ".vmf-form textarea.vmf-textbox{padding:2px 3px;resize:none;overflow:auto;" +
      "white-space:pre-wrap}",
    ".vmf-form .vmf-textbox:disabled{background:#efefef;color:#bebebe}",
    ".vmf-form .vmf-checkbox,.vmf-form .vmf-optionbutton{display:flex;align-items:center;" +
      "white-space:nowrap;overflow:hidden}",
    // Real check boxes and option buttons, drawn as the desktop draws them.
    ".vmf-form .vmf-checkbox input,.vmf-form .vmf-optionbutton input{-webkit-appearance:none;" +
      "appearance:none;flex:none;width:13px;height:13px;margin:0 5px 0 1px;" +
      "border:1px solid #8f8f8f;border-radius:2px;background:#fff no-repeat center/11px 11px}",
    ".vmf-form .vmf-optionbutton input{border-radius:50%;margin-right:6px}",
    ".vmf-form .vmf-checkbox input:checked{background-image:url(\"data:image/svg+xml," +
      "%3Csvg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 11 11'%3E" +
      "%3Cpath d='M2 5.5l2.5 3L9 2' fill='none' stroke='%23000' stroke-width='1.6'/%3E" +
      "%3C/svg%3E\")}",
    ".vmf-form .vmf-checkbox input:indeterminate{background:#fff linear-gradient(#8f8f8f,#8f8f8f)" +
      " no-repeat center/7px 7px}",
    ".vmf-form .vmf-optionbutton input:checked{background:#fff radial-gradient(#222 0 2.5px," +
      "transparent 3px)}",
    ".vmf-form .vmf-checkbox input:disabled,.vmf-form .vmf-optionbutton input:disabled" +
      "{background-color:#efefef;border-color:#c6c6c6}",
    ".vmf-form .vmf-listbox{border:1px solid #b8b8b8;border-radius:2px;background:#fff;" +
      "color:#000;padding:1px 0;overflow-y:auto}",
    ".vmf-form .vmf-listbox option{padding:0 3px;min-height:16px;line-height:16px}",
    ".vmf-form .vmf-listbox option:checked{color:#fff;" +
      "background:#308cc6 linear-gradient(#308cc6,#308cc6)}",
    ".vmf-form .vmf-combobox{-webkit-appearance:none;appearance:none;border:1px solid #ababab;" +
      "border-radius:2px;color:#000;padding:0 16px 0 4px;" +
      "background:no-repeat right 6px center/7px 4px url(\"data:image/svg+xml," +
      "%3Csvg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 7 4'%3E" +
      "%3Cpath d='M0 0h7L3.5 4z'/%3E%3C/svg%3E\"),linear-gradient(#fdfdfd,#efefef)}",
    ".vmf-form .vmf-combobox:disabled{color:#bebebe;border-color:#c6c6c6;opacity:.6}",
    ".vmf-form .vmf-progressbar{-webkit-appearance:none;appearance:none;border:1px solid #ababab;" +
      "border-radius:2px;background:#fff;overflow:hidden}",
    ".vmf-form .vmf-progressbar::-webkit-progress-bar{background:#fff}",
    ".vmf-form .vmf-progressbar::-webkit-progress-value{" +
      "background:linear-gradient(#38a4e9,#3190cb)}",
    ".vmf-form .vmf-progressbar::-moz-progress-bar{background:linear-gradient(#38a4e9,#3190cb)}",
    ".vmf-form .vmf-frame{border:0;padding:0;min-width:0}",
    // The caption sits on the frame's top line: the children's twips leave room for it there.
    ".vmf-form .vmf-frame::before{content:\"\";position:absolute;left:0;right:0;top:7px;bottom:0;" +
      "border:1px solid #b8b8b8;border-radius:2px;pointer-events:none}",
    ".vmf-form .vmf-frame>legend{position:absolute;left:8px;top:0;padding:0 2px;line-height:14px;" +
      "background:#efefef;white-space:nowrap}",
    ".vmf-form .vmf-imagebox{object-fit:fill}",
    ".vmf-form .vmf-imagebox:not([src]){visibility:hidden}"
  ];
  // The documents the forms' style is in.
  var styled = new WeakSet();
  var formCount = 0;

  // Twips to whole CSS pixels, rounded half up as the desktop forms round them.
  function pixels(twips) {
    var half = Math.floor(TWIPS_PER_PIXEL / 2);
    return twips >= 0 ? Math.floor((twips + half) / TWIPS_PER_PIXEL)
                      : -Math.floor((-twips + half) / TWIPS_PER_PIXEL);
  }

  function injectStyle(document) {
    if (styled.has(document)) return;
    styled.add(document);
    var style = document.createElement("style");
    style.setAttribute("data-velmaris", "forms");
    style.textContent = STYLE_RULES.join("\n");
    (document.head || document.documentElement).appendChild(style);
  }

  // The form's "\r\n" line ends in the control, the browser's "\n" in the page.
  function screenLines(text) {
    return String(text || "").replace(/\r\n/g, "\n");
  }
  function modelLines(text) {
    return text.replace(/\r?\n/g, "\r\n");
  }

  function same(a, b) {
    return JSON.stringify(a) === JSON.stringify(b);
  }

  function WebForm(session, control) {
    this._session = session;
    this._control = control;
    this._children = new Map();
    this._gone = false;
    this.root = null;
    this.ready = null;
  }

  WebForm.prototype.build = function (shown, document) {
    this._document = document;
    injectStyle(document);
    this._prefix = "vmf" + (++formCount) + "-";
    var root = document.createElement("div");
    root.className = "vmf-form";
    root.setAttribute("role", "group");
    root.setAttribute("aria-label", shown.caption || "");
    root.style.width = pixels(shown.width || 0) + "px";
    root.style.height = pixels(shown.height || 0) + "px";
    this.root = root;
    var self = this;
    var children = Array.isArray(shown.children) ? shown.children : [];
    children.forEach(function (state) {
      if (state && typeof state.name === "string" && !self._children.has(state.name)) {
        self._children.set(state.name, {state: state, box: null, input: null});
      }
    });
    // A child goes inside its frame, which is placed first; a frame that is missing, or that
    // would contain itself, leaves the child on the form.
    this._children.forEach(function (child) { self._place(child, []); });
    this._tieLabels();
    this._children.forEach(function (child) {
      self._listen(child);
      self._show(child, null, child.state);
    });
  };

  WebForm.prototype._place = function (child, placing) {
    if (child.box !== null) return child.box;
    var parent = this.root;
    var container = this._children.get(child.state.container);
    if (container !== undefined && container !== child && placing.indexOf(container) < 0) {
      placing.push(child);
      parent = this._place(container, placing);
      placing.pop();
    }
    if (child.box !== null) return child.box;  // placed while its frame was
    this._make(child);
    child.box.classList.add("vmf-box", "vmf-" + String(child.state.kind).toLowerCase());
    child.box.setAttribute("data-name", child.state.name);
    parent.appendChild(child.box);
    return child.box;
  };

  WebForm.prototype._make = function (child) {
    var document = this._document;
    var id = this._prefix + child.state.name;
    var element;
    switch (child.state.kind) {
      case "Button":
        element = document.createElement("button");
        element.type = "button";
        break;
      case "Label":
        element = document.createElement("label");
        break;
      case "TextBox":
        if ((child.state.height || 0) >= MULTI_LINE_TWIPS) {
          element = document.createElement("textarea");
        } else {
          element = document.createElement("input");
          element.type = "text";
        }
        element.spellcheck = false;
        element.autocomplete = "off";
        break;
      case "CheckBox":
      case "OptionButton": {
        var box = document.createElement("label");
        var input = document.createElement("input");
        input.type = child.state.kind === "CheckBox" ? "checkbox" : "radio";
        // The option buttons of one frame are a group, per form.
        if (input.type === "radio") input.name = this._prefix + "/" + (child.state.container || "");
        input.id = id;
        box.appendChild(input);
        child.caption = box.appendChild(document.createElement("span"));
        child.box = box;
        child.input = input;
        return;
      }
      case "ListBox":
        element = document.createElement("select");
        element.size = Math.max(2, Math.floor(pixels(child.state.height || 0) / 16));
        break;
      case "ComboBox":
        element = document.createElement("select");
        break;
      case "ProgressBar":
        element = document.createElement("progress");
        element.max = 100;
        break;
      case "Frame":
        element = document.createElement("fieldset");
        child.caption = element.appendChild(document.createElement("legend"));
        break;
      case "ImageBox":
        element = document.createElement("img");
        element.alt = child.state.name;
        element.draggable = false;
        child.pictures = 0;
        child.url = null;
        break;
      default:
        element = document.createElement("div");
    }
    element.id = id;
    child.box = element;
    child.input = element;
  };

  // Which label names which box: one on the box's row just left of it, else one just above it;
  // each label and each box at most once, the nearest first.
  WebForm.prototype._tieLabels = function () {
    var labels = [];
    var boxes = [];
    this._children.forEach(function (child) {
      if (child.state.kind === "Label") labels.push(child);
      else if (LABELLED.indexOf(child.state.kind) >= 0) boxes.push(child);
    });
    var pairs = [];
    labels.forEach(function (label) {
      var l = label.state;
      boxes.forEach(function (box) {
        var b = box.state;
        if ((b.container || "") !== (l.container || "")) return;
        var right = l.left + l.width;
        var bottom = l.top + l.height;
        var rowGap = b.left - right;
        if (rowGap >= -TWIPS_PER_PIXEL * 2 && rowGap <= LABEL_GAP && b.top < bottom &&
            l.top < b.top + b.height) {
          pairs.push({label: label, box: box, rank: rowGap});
          return;
        }
        var belowGap = b.top - bottom;
        if (belowGap >= -TWIPS_PER_PIXEL * 4 && belowGap <= LABEL_BELOW && b.left < right &&
            l.left < b.left + b.width) {
          pairs.push({label: label, box: box, rank: 100000 + belowGap});
        }
      });
    });
    pairs.sort(function (a, b) { return a.rank - b.rank; });
    var tied = new Set();
    pairs.forEach(function (pair) {
      if (tied.has(pair.label) || tied.has(pair.box)) return;
      tied.add(pair.label);
      tied.add(pair.box);
      pair.label.box.htmlFor = pair.box.input.id;
    });
  };

  WebForm.prototype._listen = function (child) {
    var self = this;
    var input = child.input;
    switch (child.state.kind) {
      case "Button":
        input.addEventListener("click", function () { self._gesture(child, "click"); });
        break;
      case "CheckBox":
        input.addEventListener("click", function () {
          // A grey box is set to what the page now shows; otherwise it is clicked, as a person's.
          if (child.state.checked === 2) self._gesture(child, "check", input.checked);
          else self._gesture(child, "click");
        });
        break;
      case "OptionButton":
        input.addEventListener("click", function () { self._gesture(child, "click"); });
        break;
      case "TextBox":
        input.addEventListener("input", function () {
          child.typed = true;
          clearTimeout(child.typing);
          child.typing = setTimeout(function () { self._sendText(child); }, TYPING_DELAY);
        });
        input.addEventListener("blur", function () {
          if (child.typing !== undefined) self._sendText(child);
        });
        break;
      case "ComboBox":
        input.addEventListener("change", function () {
          var index = Number(input.value);
          if (input.value !== "" && index >= 0) {
            child.state = Object.assign({}, child.state, {listIndex: index});
            self._gesture(child, "select", index);
          }
        });
        break;
      case "ListBox":
        input.addEventListener("change", function () { self._listChanged(child); });
        input.addEventListener("mousemove", function (event) {
          var index = self._itemAt(child, event);
          if (index === child.hovered) return;
          child.hovered = index;
          if (index >= 0) self._gesture(child, "hover", index);
        });
        input.addEventListener("mouseleave", function () { child.hovered = -1; });
        break;
    }
  };

  // The item under the pointer, -1 for none.
  WebForm.prototype._itemAt = function (child, event) {
    var options = child.input.options;
    if (event.target && event.target.tagName === "OPTION") {
      return Array.prototype.indexOf.call(options, event.target);
    }
    if (options.length === 0) return -1;
    var first = options[0].getBoundingClientRect();
    var height = first.height || 16;
    var index = Math.floor((event.clientY - first.top) / height);
    return index >= 0 && index < options.length ? index : -1;
  };

  WebForm.prototype._listChanged = function (child) {
    var input = child.input;
    if (!input.multiple) {
      var index = input.selectedIndex;
      if (index < 0) return;
      child.state = Object.assign({}, child.state, {listIndex: index});
      this._gesture(child, "select", index);
      return;
    }
    // One toggle per item whose selection changed: those cleared first, so the item chosen last
    // ends as the list's current one.
    var was = child.state.selected || [];
    var now = [];
    var cleared = [];
    var chosen = [];
    Array.prototype.forEach.call(input.options, function (option, i) {
      if (option.selected) now.push(i);
      if (option.selected !== (was.indexOf(i) >= 0)) (option.selected ? chosen : cleared).push(i);
    });
    child.state = Object.assign({}, child.state, {selected: now});
    var self = this;
    cleared.concat(chosen).forEach(function (i) { self._gesture(child, "toggle", i); });
  };

  WebForm.prototype._sendText = function (child) {
    clearTimeout(child.typing);
    child.typing = undefined;
    var text = modelLines(child.input.value);
    child.state = Object.assign({}, child.state, {text: text, caption: text});
    this._send(child, "setText", text);
  };

  // Text still being typed goes first, so the control reads it before the click that follows.
  WebForm.prototype._gesture = function (child, action, value) {
    var self = this;
    this._children.forEach(function (other) {
      if (other.typing !== undefined) self._sendText(other);
    });
    this._send(child, action, value);
  };

  // Gestures go out at once, in the order made: the socket keeps that order, and none waits for
  // an earlier one's reply (a start button's comes once the whole upload has run; the gestures
  // made meanwhile reach the control inside that run).
  WebForm.prototype._send = function (child, action, value) {
    var self = this;
    var request = {op: "gesture", control: this._control, name: child.state.name, action: action};
    if (value !== undefined) request.value = value;
    this._session._send(request).catch(function (error) {
      if (self._gone) return;
      // What the page shows snaps back to the control's state.
      self._show(child, null, child.state);
      if (error.number !== REFUSED_NUMBER && self._session._socket.readyState === 1) {
        self._session._report(error);
      }
    });
  };

  WebForm.prototype.apply = function (changes) {
    if (this.root === null || this._gone) return;
    var self = this;
    changes.forEach(function (change) {
      var child = change && self._children.get(change.name);
      if (child === undefined) return;
      var next = Object.assign({}, child.state, change);
      self._show(child, child.state, next);
      child.state = next;
    });
  };

  // Brings the child's element to `next`, touching only what differs from `prev` (all when null).
  // What a person changes (ticks, entries chosen, text) is compared with the page itself: a click
  // the control undid within one pass comes as a state equal to the one before it.
  WebForm.prototype._show = function (child, prev, next) {
    function changed(key) {
      return prev === null || !same(prev[key], next[key]);
    }
    var box = child.box;
    var input = child.input;
    if (changed("left") || changed("top") || changed("width") || changed("height")) {
      box.style.left = pixels(next.left || 0) + "px";
      box.style.top = pixels(next.top || 0) + "px";
      box.style.width = pixels(next.width || 0) + "px";
      box.style.height = pixels(next.height || 0) + "px";
    }
    if (changed("visible")) box.hidden = next.visible === false;
    if (changed("enabled")) {
      box.classList.toggle("vmf-disabled", next.enabled === false);
      if ("disabled" in input) input.disabled = next.enabled === false;
    }
    if (changed("toolTip")) {
      if (next.toolTip) box.title = next.toolTip;
      else box.removeAttribute("title");
    }
    var text = typeof next.text === "string" ? next.text : next.caption || "";
    switch (next.kind) {
      case "Button":
        if (input.textContent !== text) input.textContent = text;
        if (text) input.removeAttribute("aria-label");
        else input.setAttribute("aria-label", next.name);
        break;
      case "Label":
        if (input.textContent !== text) input.textContent = text;
        break;
      case "Frame":
        child.caption.textContent = text;
        child.caption.hidden = text === "";
        if (text) input.removeAttribute("aria-label");
        else input.setAttribute("aria-label", next.name);
        break;
      case "CheckBox":
      case "OptionButton":
        if (child.caption.textContent !== text) child.caption.textContent = text;
        if (input.checked !== (next.checked === 1)) input.checked = next.checked === 1;
        input.indeterminate = next.kind === "CheckBox" && next.checked === 2;
        break;
      case "TextBox":
        this._showText(child, screenLines(text));
        break;
      case "ListBox":
      case "ComboBox":
        this._showItems(child, next);
        break;
      case "ProgressBar":
        if (changed("value")) input.value = Math.max(0, Math.min(100, Number(next.value) || 0));
        break;
      case "ImageBox":
        if (changed("picture")) this._showPicture(child, next.picture || "");
        break;
    }
    if (prev === null) this._name(child);
  };

  // Boxes no label names are named after the child.
  WebForm.prototype._name = function (child) {
    var input = child.input;
    if (LABELLED.indexOf(child.state.kind) < 0) return;
    if (input.labels && input.labels.length > 0) input.removeAttribute("aria-label");
    else if (!input.hasAttribute("aria-label")) input.setAttribute("aria-label", child.state.name);
  };

  // Text the editor is typing in a box stays: a focused box changed since the control last said
  // what it holds keeps its value.
  WebForm.prototype._showText = function (child, text) {
    var input = child.input;
    var focused = input.ownerDocument.activeElement === input;
    if (input.value === text) {
      child.typed = false;
      return;
    }
    if (focused && (child.typed || child.typing !== undefined)) return;
    child.typed = false;
    input.value = text;
    // A log shows its newest lines.
    if (input.tagName === "TEXTAREA") input.scrollTop = input.scrollHeight;
  };

  WebForm.prototype._showItems = function (child, next) {
    var input = child.input;
    var document = input.ownerDocument;
    var items = Array.isArray(next.items) ? next.items : [];
    var combo = next.kind === "ComboBox";
    // A drop-down with no entry chosen shows the control's text in a placeholder entry.
    var first = combo ? 1 : 0;
    if (combo && input.options.length === 0) {
      var placeholder = document.createElement("option");
      placeholder.value = "";
      placeholder.disabled = true;
      placeholder.hidden = true;
      input.appendChild(placeholder);
    }
    var shown = Array.prototype.slice.call(input.options, first).map(function (option) {
      return option.textContent;
    });
    if (!same(shown, items)) {
      while (input.options.length > first) input.remove(first);
      items.forEach(function (item, i) {
        var option = document.createElement("option");
        option.value = String(i);
        option.textContent = item;
        input.appendChild(option);
      });
    }
    var index = typeof next.listIndex === "number" ? next.listIndex : -1;
    if (combo) {
      input.options[0].textContent = next.text || "";
      input.value = index >= 0 && index < items.length ? String(index) : "";
      return;
    }
    input.multiple = next.multiSelect === true;
    if (input.multiple) {
      var selected = Array.isArray(next.selected) ? next.selected : [];
      Array.prototype.forEach.call(input.options, function (option, i) {
        var on = selected.indexOf(i) >= 0;
        if (option.selected !== on) option.selected = on;
      });
    } else {
      input.selectedIndex = index >= 0 && index < items.length ? index : -1;
    }
  };

  // A picture's address is good for one fetch: its bytes become a blob: URL of the page's own,
  // which the form lets go of when the picture changes or the form goes.
  WebForm.prototype._showPicture = function (child, address) {
    var self = this;
    var turn = ++child.pictures;
    if (!address) {
      this._setPicture(child, null);
      return;
    }
    global.fetch(this._session._base + address, {mode: "cors", credentials: "omit",
                                                 cache: "no-store"})
      .then(function (response) {
        if (!response.ok) throw new Error(String(response.status));
        return response.blob();
      })
      .then(function (blob) {
        if (turn !== child.pictures || self._gone) return;
        self._setPicture(child, URL.createObjectURL(blob));
      })
      .catch(function () {
        // A picture that cannot be had shows an empty box, as one that cannot be read does.
        if (turn === child.pictures && !self._gone) self._setPicture(child, null);
      });
  };

  WebForm.prototype._setPicture = function (child, url) {
    if (child.url) URL.revokeObjectURL(child.url);
    child.url = url;
    if (url) child.input.src = url;
    else child.input.removeAttribute("src");
  };

  WebForm.prototype.remove = function () {
    if (this._gone) return;
    this._gone = true;
    var self = this;
    this._children.forEach(function (child) {
      clearTimeout(child.typing);
      child.typing = undefined;
      if (child.url) self._setPicture(child, null);
    });
    if (this.root !== null && this.root.parentNode) this.root.parentNode.removeChild(this.root);
  };

  function connect(options) {
    var host = (options && options.host) || "127.0.0.1";
    var port = (options && options.port) || 9120;
    var address = "ws://" + (host.indexOf(":") >= 0 ? "[" + host + "]" : host) + ":" + port + "/";
    return new Promise(function (resolve, reject) {
      var socket;
      try {
        socket = new WebSocket(address);
      } catch (e) {
        reject(lostError(UNREACHABLE + "（" + address + "）"));
        return;
      }
      socket.onopen = function () {
        resolve(new Session(socket, "http://" + address.slice(5, -1)));
      };
      // Refused, or closed by the helper (an origin it does not allow) before it opened.
      socket.onclose = function () {
        reject(lostError(UNREACHABLE + "（" + address + "）"));
      };
    });
  }

  Object.defineProperty(global, "Velmaris", {
    value: Object.freeze({connect: connect}),
    configurable: true,
    writable: true
  });
})(typeof globalThis !== "undefined" ? globalThis : self);
