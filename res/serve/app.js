// Suggestions as the user types in the search line, and keys to step through the found words.
(function () {
  "use strict";
  var input = document.getElementById("q");
  var list = document.getElementById("suggestions");
  var timer = null, last = "";
  if (input && list && window.fetch) {
    input.addEventListener("input", function () {
      clearTimeout(timer);
      timer = setTimeout(function () {
        var q = input.value.trim();
        if (q.length < 2 || q === last) return;
        last = q;
        fetch("/suggest?q=" + encodeURIComponent(q)).then(function (r) { return r.json(); }).then(function (answer) {
          while (list.firstChild) list.removeChild(list.firstChild);
          (answer[1] || []).forEach(function (title) {
            var option = document.createElement("option");
            option.value = title;
            list.appendChild(option);
          });
        }).catch(function () {});
      }, 150);
    });
  }
  var marks = document.querySelectorAll("mark[id^='hl-']");
  var nav = document.querySelector("nav.highlights");
  if (marks.length && nav) {
    var at = -1;
    var go = function (step) {
      if (at >= 0) marks[at].classList.remove("current");
      at = (at + step + marks.length) % marks.length;
      marks[at].classList.add("current");
      marks[at].scrollIntoView({ block: "center" });
      status.textContent = "Совпадение " + (at + 1) + " из " + marks.length;
    };
    var status = nav.querySelector("[role=status]");
    var previous = document.createElement("button");
    previous.type = "button";
    previous.textContent = "Предыдущее совпадение";
    previous.addEventListener("click", function () { go(-1); });
    var next = document.createElement("button");
    next.type = "button";
    next.textContent = "Следующее совпадение";
    next.addEventListener("click", function () { go(1); });
    var first = nav.querySelector(".hl-first");
    if (first) nav.removeChild(first);
    nav.appendChild(previous);
    nav.appendChild(next);
  }
})();
