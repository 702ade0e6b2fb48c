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
  var OWN = ["id", "methods", "properties", "call", "callWithArgs", "get", "set", "release", "form"];

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

  function Session(socket) {
    var self = this;
    this._socket = socket;
    this._pending = new Map();
    this._nextId = 1;
    this.onerror = null;
    var settle;
    this.closed = new Promise(function (resolve) { settle = resolve; });
    socket.onmessage = function (event) { self._receive(event.data); };
    socket.onclose = function (event) {
      self._failPending();
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
    if (this._socket.readyState <= 1) this._socket.close(1000);
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
        return request("release").then(function () { return undefined; });
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
        resolve(new Session(socket));
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
