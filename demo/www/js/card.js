// Browser-side helpers that the card's forms call. The CGI program writes the
// calls into the address rows of the configuration form:
//   onkeypress="return allowOnly('0123456789', event);"
//   onchange="return validateIP('oid-<oid>', true);"
//   <script>writeMessageDiv('oid-<oid>');</script>
// The card checks every value again when the form arrives; these only help
// the user while typing.

// Lets a typed character through only when it is one of `allowed`. Keys that
// type nothing (Enter, Backspace, arrows) and shortcuts always pass.
function allowOnly(allowed, event) {
  var e = event || window.event;
  if (!e || e.ctrlKey || e.altKey || e.metaKey) {
    return true;
  }
  var typed = e.key;
  if (typed === undefined) {
    var code = e.charCode || e.which || e.keyCode;
    if (!code || code < 32) {
      return true;
    }
    typed = String.fromCharCode(code);
  }
  if (typed.length !== 1) {
    return true;
  }
  if (allowed.indexOf(typed) !== -1) {
    return true;
  }
  if (e.preventDefault) {
    e.preventDefault();
  }
  return false;
}

function messageDivId(field) {
  return 'message-' + field;
}

// Writes, where the script stands, the place for a field's message.
function writeMessageDiv(field) {
  document.write('<div class="errorText" id="' + messageDivId(field) + '"></div>');
}

// Shows a message for an address field, or clears it.
function showFieldMessage(field, text) {
  var div = document.getElementById(messageDivId(field));
  if (div) {
    div.textContent = text;
  }
}

// Checks the boxes of an address field: "0<field>" .. "3<field>", each a
// number from 0 to 255. With `required` false, four empty boxes pass too.
// Returns whether the address is valid and shows the outcome next to it.
function validateIP(field, required) {
  var boxes = [];
  for (var i = 0; ; i++) {
    var found = document.getElementsByName(i + field);
    if (found.length === 0) {
      break;
    }
    boxes.push(found[0]);
  }
  var allEmpty = true;
  for (var j = 0; j < boxes.length; j++) {
    if (boxes[j].value !== '') {
      allEmpty = false;
    }
  }
  var problem = '';
  if (!(allEmpty && !required)) {
    if (boxes.length !== 4) {
      problem = 'An address has four numbers.';
    }
    for (var k = 0; k < boxes.length && problem === ''; k++) {
      var text = boxes[k].value;
      if (!/^[0-9]{1,3}$/.test(text) || parseInt(text, 10) > 255) {
        problem = 'Each of the four numbers is from 0 to 255.';
      }
    }
  }
  showFieldMessage(field, problem);
  return problem === '';
}
