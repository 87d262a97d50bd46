<script type="text/javascript">
(function () {
  function fill(id, html) {
    var element = document.getElementById(id);
    if (element) element.innerHTML = html;
  }
  window.padappinsertscore = function (html) { fill("newscore", html); };
  window.padappinsertreward = function (html) { fill("newreward", html); };
  window.padappinsertrelatednews = function (html) { fill("related", html); };
  window.padappinsertdouzaimai = function (html) { fill("douzaimai", html); };
  window.padappinserthotcomment = function (html) { fill("newshotcomment", html); };
  window.appinserthotcomment = function (html) { fill("newshotcomment", html); };
  window.appinsertvote = function (html, id) { fill(id, html); };

  window.SetFontFamily = function (family) {
    document.body.style.fontFamily = "'" + family + "', sans-serif";
  };
  window.SetFont = function (size) {
    var content = document.getElementById("content");
    if (content) content.style.fontSize = size + "px";
  };
  window.voteButtonState = function (text) {
    var button = document.getElementById("votebutton");
    if (button) button.textContent = text;
  };
  window.getSelectedContents = function () {
    return window.getSelection ? window.getSelection().toString() : "";
  };
  window.submitVote = function (id, type) {
    var inputs = document.getElementsByName("checkbox" + id + "[]");
    var items = "";
    for (var i = 0; i < inputs.length; i++) {
      if (inputs[i].checked) items += inputs[i].value + ",";
    }
    if (items === "") {
      window.external.voteempty();
      return;
    }
    window.external.votesucess(String(id), items);
  };
  window.clickNewReward = function () {
    var tips = document.querySelectorAll("#newreward .tipsdiv");
    for (var i = 0; i < tips.length; i++) tips[i].textContent = "感谢您的支持";
  };
  // A picture that failed shows the fallback; a click tries its own address once more.
  window.IsImageLoaded = function () {
    var picture = window.event && window.event.target;
    if (!picture || !picture.getAttribute) return;
    var original = picture.getAttribute("originsrc");
    if (original && picture.getAttribute("src") !== original) picture.setAttribute("src", original);
  };
  window.imageload = function () {};
  window.downfun = function () {
    window.scrollTo(0, document.body.scrollHeight);
  };

  // Links that open an article in place are marked target="_blank", which would open a window
  // that runs nothing: call the bridge here instead.
  var inPagePrefix = "javascript:window.external.opennewsinnews(";
  document.addEventListener("click", function (event) {
    var node = event.target;
    while (node && node.nodeName !== "A") node = node.parentNode;
    if (!node || !node.getAttribute) return;
    var href = node.getAttribute("href") || "";
    if (href.indexOf(inPagePrefix) !== 0) return;
    event.preventDefault();
    event.stopPropagation();
    var id = href.substring(inPagePrefix.length).replace(/\)\s*;?\s*$/, "");
    if (/^[0-9]+$/.test(id)) window.external.opennewsinnews(id);
  }, true);
})();
</script>
